#include "documenttext.h"

#include "compoundfile.h"
#include "readfailure.h"

#include <QFile>

namespace velmora {

namespace {

bool isZip(QByteArrayView bytes) {
    return bytes.startsWith("PK\x03\x04") || bytes.startsWith("PK\x05\x06");
}

DocumentText failure(TextReadStatus status, const QString& reason) {
    return {status, {}, reason};
}

} // namespace

DocumentText ReadDocumentBytes(QByteArrayView bytes) {
    if (isZip(bytes)) {
        return ReadDocxBytes(bytes);
    }
    if (textreader::CompoundFile::hasSignature(bytes)) {
        return ReadDocBytes(bytes);
    }
    if (bytes.isEmpty()) {
        return failure(TextReadStatus::NotWordFile, QStringLiteral("the file is empty"));
    }
    if (bytes.startsWith("{\\rtf")) {
        return failure(TextReadStatus::NotWordFile, QStringLiteral("an RTF document"));
    }
    return failure(TextReadStatus::NotWordFile, QStringLiteral("neither a .docx nor a Word 97-2003 document"));
}

DocumentText ReadDocumentText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return failure(TextReadStatus::Unreadable, file.errorString());
    }
    const QByteArray head = file.peek(8);
    if (isZip(head)) {
        // Read in place rather than mapped: a file cut short by another program while it is read gives an
        // error, never a bus error.
        return textreader::ReadDocxDevice(file);
    }
    const qint64 size = file.size();
    if (size > kMaxDocumentPartBytes) {
        return failure(TextReadStatus::TooLarge, QStringLiteral("the file has %1 bytes").arg(size));
    }
    QByteArray bytes;
    try {
        bytes = file.readAll();
    } catch (const std::bad_alloc&) {
        return failure(TextReadStatus::TooLarge, QStringLiteral("out of memory"));
    }
    if (file.error() != QFileDevice::NoError) {
        return failure(TextReadStatus::Unreadable, file.errorString());
    }
    return ReadDocumentBytes(bytes);
}

bool IsEncryptedOnDisk(const QString& path) {
    return ReadDocumentText(path).status == TextReadStatus::Encrypted;
}

} // namespace velmora
