// Input that starts with the compound-file signature is read as a .doc file, through libgsf. Anything else is
// split into the two streams the FIB and the piece table live in (a 16-bit length of the WordDocument stream,
// that stream, then the table stream), so that mutations reach the Word structures directly.

#include "textreader/docreader.h"
#include "textreader/documenttext.h"
#include "textreader/readfailure.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (bytes.startsWith(QByteArrayView("\xD0\xCF\x11\xE0", 4)) || bytes.size() < 2) {
        velmora::ReadDocBytes(bytes);
        return 0;
    }
    const qsizetype docSize = std::min<qsizetype>(quint8(bytes[0]) | (quint8(bytes[1]) << 8), bytes.size() - 2);
    const QByteArrayView doc = bytes.sliced(2, docSize);
    const QByteArrayView table = bytes.sliced(2 + docSize);
    try {
        const velmora::textreader::Fib fib = velmora::textreader::ParseFib(doc);
        velmora::textreader::MainText(fib, doc, table);
    } catch (const velmora::textreader::ReadFailure&) {
    }
    return 0;
}
