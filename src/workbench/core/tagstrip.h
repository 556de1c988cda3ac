#pragma once

#include <QString>

namespace velmora {

// What the document tabs and the import need of the tags strip above the tabs: storing a document's tags the way
// the strip does, its password when one may be applied, and filling or clearing the strip as tabs change. The
// strip's area implements it; the main window hands it to the areas that need it, so that no area includes
// another's header.
class TagStrip {
public:
    virtual ~TagStrip() = default;

    // Normalises `tags`, makes unknown tags nodes of the tag tree and, unless an import is running, stores the
    // result for the record at `ipos`. Returns the normalised text (empty text in, nothing done, empty out).
    virtual QString GetCurrDocTags(int ipos, const QString& tags, bool rd) = 0;
    // A new document just got its record at `ipos`: the tags typed for it meanwhile, if any, are stored with it.
    virtual void StoreTypedTags(int ipos) = 0;
    // The typed password when it may be applied to the document at `ipos`, else the empty text.
    virtual QString GetCurrDocPSW(int ipos) = 0;
    // Applies `psw` to the open document `docName` and saves it.
    virtual void SetPSToDoc(const QString& docName, const QString& psw) = 0;
    virtual void ClearTagPanel() = 0;
    virtual void LoadTagPanel(int iPos) = 0;
};

} // namespace velmora
