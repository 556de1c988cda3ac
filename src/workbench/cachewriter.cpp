#include "cachewriter.h"

#include "office/tiword.h"
#include "textreader/documenttext.h"

namespace velmora {

QString DocumentTextForCache(TiWord& word, const QString& path) {
    DocumentText read = ReadDocumentText(path);
    if (read.ok()) {
        return read.text;
    }
    return word.GetDocTextByName(path);
}

} // namespace velmora
