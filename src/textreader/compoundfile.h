#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <memory>

namespace velmora::textreader {

// A compound file (the container of Word 97-2003 documents and of password-protected .docx) held in memory,
// read through libgsf. Only the streams of the root storage are reached.
class CompoundFile final {
public:
    // Raises ReadFailure when the bytes are not a compound file libgsf can open.
    explicit CompoundFile(QByteArrayView bytes);
    ~CompoundFile();
    Q_DISABLE_COPY_MOVE(CompoundFile)

    static bool hasSignature(QByteArrayView bytes);

    // Whether the stream can be opened; whether the directory names it (a damaged file names what it cannot give).
    bool contains(const char* name) const;
    bool lists(const char* name) const;
    // The whole stream; ReadFailure when it is missing, larger than `limit` or cannot be read.
    QByteArray read(const char* name, qint64 limit) const;

private:
    struct Handles;
    std::unique_ptr<Handles> m_handles;
};

} // namespace velmora::textreader
