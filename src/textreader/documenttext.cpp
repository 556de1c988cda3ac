#include "documenttext.h"

#include "compoundfile.h"
#include "readfailure.h"

#include "common/readfile.h"

#include <QFile>

#include <unistd.h>

namespace velmora {

namespace {

bool isZip(QByteArrayView bytes) {
    return bytes.startsWith("PK\x03\x04") || bytes.startsWith("PK\x05\x06");
}

DocumentText failure(TextReadStatus status, const QString& reason) {
    return {status, {}, reason, {}};
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

QString TextCutNote() {
    return QStringLiteral("only the first %1 characters of its text are kept").arg(kMaxDocumentTextChars);
}

DocumentText ReadDocumentText(const QString& path) {
    qint64 size = 0;
    QString reason;
    const int fd = OpenRegularFile(path, size, reason);
    if (fd < 0) {
        return failure(TextReadStatus::Unreadable, reason);
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return failure(TextReadStatus::Unreadable, file.errorString());
    }
    const QByteArray head = file.peek(8);
    if (isZip(head)) {
        // Read in place rather than mapped: a file cut short by another program while it is read gives an
        // error, never a bus error.
        return textreader::ReadDocxDevice(file);
    }
    if (size > kMaxDocumentPartBytes) {
        return failure(TextReadStatus::TooLarge, QStringLiteral("the file has %1 bytes").arg(size));
    }
    QByteArray bytes;
    try {
        // One byte more than allowed, so that a file grown since it was opened is refused and not cut short.
        bytes = file.read(kMaxDocumentPartBytes + 1);
    } catch (const std::bad_alloc&) {
        return failure(TextReadStatus::TooLarge, QStringLiteral("out of memory"));
    }
    if (file.error() != QFileDevice::NoError) {
        return failure(TextReadStatus::Unreadable, file.errorString());
    }
    if (bytes.size() > kMaxDocumentPartBytes) {
        return failure(TextReadStatus::TooLarge,
                       QStringLiteral("the file has more than %1 bytes").arg(kMaxDocumentPartBytes));
    }
    return ReadDocumentBytes(bytes);
}

bool IsEncryptedOnDisk(const QString& path) {
    return ReadDocumentText(path).status == TextReadStatus::Encrypted;
}

} // namespace velmora
