// Input that starts like a zip is read as a .docx file. Anything else becomes the document part of a package
// made on the spot, so that the body walker sees mutated XML rather than mostly unreadable archives.

#include "textreader/documenttext.h"

#include <QBuffer>

#include <quazip.h>
#include <quazipfile.h>
#include <quazipnewinfo.h>

#include <cstddef>
#include <cstdint>

namespace {

QByteArray packageAround(QByteArrayView xml) {
    QBuffer buffer;
    QuaZip zip(&buffer);
    zip.open(QuaZip::mdCreate);
    QuaZipFile file(&zip);
    // Stored, not deflated: packing costs nothing next to reading.
    file.open(QIODevice::WriteOnly, QuaZipNewInfo(QStringLiteral("word/document.xml")), nullptr, 0, 0);
    file.write(xml.data(), xml.size());
    file.close();
    zip.close();
    return buffer.data();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (bytes.startsWith("PK")) {
        velmora::ReadDocxBytes(bytes);
    } else {
        velmora::ReadDocxBytes(packageAround(bytes));
    }
    return 0;
}
