#pragma once

#include "tempappdata.h"

#include <QString>

namespace velmora::test {

// A fresh appdata folder with an empty docs/ folder (DocPath), into which a test copies documents of the corpus
// in tests/data/corpus/, so that the program's reader meets real files.
class CorpusAppData final {
public:
    CorpusAppData();
    Q_DISABLE_COPY_MOVE(CorpusAppData)

    // The appdata folder, with a trailing delimiter.
    QString path() const { return m_appData.path(); }
    // Copies the corpus document `corpusName` to DocPath(`target`), making its folders; false when it cannot.
    bool copy(const QString& corpusName, const QString& target) const;

private:
    TempAppData m_appData;
};

} // namespace velmora::test
