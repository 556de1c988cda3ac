#pragma once

#include <QString>

namespace velmora {

// Makes LibreOffice Writer and Calc answer "Word.Application" and "Excel.Application". Call once at start-up.
//
// "Create a new server object" starts an soffice of its own. The first one made while no Word (or Excel) runs is
// the main one: it listens on a pipe named per user, keeps its profile in the user's cache folder and shows its
// windows when there is a display; it is registered as the running server, so a later "get the running one"
// (here, or in a second Velmora of the same user, which finds it at its own start-up) attaches to it. The others
// are private, and so is every server asked for as a private one (CreatePrivateOleObject): headless, with a
// throw-away profile, never registered, and killed with the program that started them. The main office runs on
// after the program that started it only while another Velmora uses it or it holds a document: a watchdog that
// its starter leaves behind ends it otherwise (see AttachLock).
//
// Returns false, registering nothing, when LibreOffice is not installed.
bool RegisterLibreOfficeServers();

// The pipe of the main server of progId for this user ("Word.Application" or "Excel.Application").
QString LibreOfficeMainPipe(const QString& progId);

} // namespace velmora
