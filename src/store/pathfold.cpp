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

namespace velmora {

bool RawTagEquals(const char* utf16le, qsizetype units, QStringView folded) {
    const qsizetype size = folded.size();
    qsizetype i = 0;
    for (; i < units && i < size; ++i) {
        const char16_t unit = char16_t(quint8(utf16le[2 * i]) | quint8(utf16le[2 * i + 1]) << 8);
        const char16_t other = folded[i].unicode();
        if (unit >= 0x80 || other >= 0x80) {
            break;
        }
        if (foldAscii(unit) != other) {
            return false;
        }
    }
    if (i == units || i == size) {
        return i == units && i == size;
    }
    // Case folding may pair an ASCII letter with another (the Kelvin sign with K), so the rest is compared whole.
    QString rest(units - i, Qt::Uninitialized);
    for (qsizetype k = i; k < units; ++k) {
        rest[k - i] = QChar(char16_t(quint8(utf16le[2 * k]) | quint8(utf16le[2 * k + 1]) << 8));
    }
    return QStringView(rest).compare(folded.sliced(i), Qt::CaseInsensitive) == 0;
}

} // namespace velmora
