#include "cachewriter.h"

#include "common/errors.h"
#include "office/tiword.h"
#include "store/textcache.h"
#include "textreader/documenttext.h"

namespace velmora {

QString DocumentTextForCache(TiWord& word, const QString& path, const QString& psw) {
    DocumentText read = ReadDocumentText(path);
    if (read.ok()) {
        return std::move(read.text);
    }
    if (word.DocIsOpen(path)) {
        return word.GetDocTextByName(path);
    }
    // A file that cannot be opened, or is no regular file (a FIFO the office would wait on forever), is not
    // the office's to try either.
    if (read.status == TextReadStatus::Unreadable) {
        throw VelmoraError(QStringLiteral("无法读取文件 %1: %2").arg(path, read.reason), path);
    }
    // Read-only, so that the office never writes back a file it was only asked to read.
    word.OpenWordFile(path, psw, true);
    QString text;
    try {
        text = word.GetDocTextByName(path);
    } catch (...) {
        try {
            word.CloseWordFileByName(path);
        } catch (...) {
        }
        throw;
    }
    word.CloseWordFileByName(path);
    return text;
}

void WriteTextCacheFor(TiWord& word, const QString& path, const QString& psw) {
    WriteTextCache(path, DocumentTextForCache(word, path, psw));
}

bool WriteMissingTextCacheFor(TiWord& word, const QString& path, const QString& psw) {
    if (HasTextCache(path)) {
        return false;
    }
    WriteTextCacheFor(word, path, psw);
    return true;
}

} // namespace velmora
