#include "pathfold.h"

namespace velmora {

namespace {

char16_t foldAscii(char16_t c) {
    return (c >= u'a' && c <= u'z') ? char16_t(c - (u'a' - u'A')) : c;
}

} // namespace

QString FoldAsciiCase(QStringView text) {
    QString result = text.toString();
    for (QChar& c : result) {
        c = QChar(foldAscii(c.unicode()));
    }
    return result;
}

bool SameIgnoringAsciiCase(QStringView a, QStringView b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (foldAscii(a[i].unicode()) != foldAscii(b[i].unicode())) {
            return false;
        }
    }
    return true;
}

} // namespace velmora

namespace velmora {

bool RawEqualsFolded(const char* utf16le, qsizetype units, QStringView folded) {
    if (units != folded.size()) {
        return false;
    }
    for (qsizetype i = 0; i < units; ++i) {
        const char16_t unit = char16_t(quint8(utf16le[2 * i]) | quint8(utf16le[2 * i + 1]) << 8);
        if (foldAscii(unit) != folded[i].unicode()) {
            return false;
        }
    }
    return true;
}

} // namespace velmora
