#include "titlewidth.h"

#include "pinyin.h"

namespace velmora {

namespace {

constexpr int kMaxTitleWidth = 15;

} // namespace

int DisplayWidth(const QString& text) {
    int cjk = 0;
    int other = 0;
    for (const QChar c : text) {
        if (IsCjkChar(c)) {
            ++cjk;
        } else {
            ++other;
        }
    }
    return cjk + (other + 1) / 2;
}

QString ShortenTitle(const QString& text) {
    if (text.size() <= kMaxTitleWidth || DisplayWidth(text) <= kMaxTitleWidth) {
        return text;
    }
    QString result = text;
    do {
        result.chop(1);
    } while (!result.isEmpty() && DisplayWidth(result) > kMaxTitleWidth);
    return result + QStringLiteral("…");
}

} // namespace velmora
