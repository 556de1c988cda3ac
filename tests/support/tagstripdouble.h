#pragma once

#include "workbench/core/tagstrip.h"
#include "workbench/core/treefile.h"

namespace velmora::test {

// The tags strip as an import meets it while it runs: it normalises the tags and remembers those that would reach
// the tag tree; it stores nothing itself.
class TagStripDouble final : public TagStrip {
public:
    QStringList treeTags;
    QString GetCurrDocTags(int, const QString& tags, bool) override {
        const NormalTags normal = NormalizeTags(tags);
        treeTags += normal.tags;
        return normal.text;
    }
    void StoreTypedTags(int) override {}
    QString GetCurrDocPSW(int) override { return {}; }
    void SetPSToDoc(const QString&, const QString&) override {}
    void ClearTagPanel() override {}
    void LoadTagPanel(int) override {}
};

} // namespace velmora::test
