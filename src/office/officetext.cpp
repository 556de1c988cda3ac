#include "officetext.h"

#include "office/automation/automationerror.h"
#include "office/automation/oleserver.h"

#include <QCoreApplication>

namespace velmora {

OleVariant StartOfficeServer(const QString& progId, bool privateServer) {
    try {
        return privateServer ? CreatePrivateOleObject(progId) : CreateOleObject(progId);
    } catch (const std::exception&) {
        throw AutomationError(QString::fromUtf16(kNoOfficeMessage), AutomationFault::NoServer);
    }
}

OleVariant ConnectOrStartOfficeServer(const QString& progId, bool& created) {
    created = false;
    if (IsOleServerRunning(progId)) {
        return GetActiveOleObject(progId);
    }
    OleVariant server = StartOfficeServer(progId);
    created = true;
    return server;
}

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
