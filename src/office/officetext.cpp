#include "officetext.h"

#include <QCoreApplication>

namespace velmora {

namespace {

QChar asciiLower(QChar c) {
    return (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ? QChar(c.unicode() + 32) : c;
}

} // namespace

bool SameTextAscii(const QString& a, const QString& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (asciiLower(a.at(i)) != asciiLower(b.at(i))) {
            return false;
        }
    }
    return true;
}

bool ContainsText(const QString& text, const QString& part) {
    return !part.isEmpty() && text.contains(part, Qt::CaseInsensitive);
}

QString FileNameOf(const QString& path) {
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

void ProcessPendingMessages() {
    QCoreApplication::processEvents();
}

} // namespace velmora
