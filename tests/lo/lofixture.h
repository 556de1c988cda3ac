#pragma once

#include <QList>
#include <QString>
#include <QTemporaryDir>

class QProcess;

namespace velmora::test {

// A folder of the test's own for LibreOffice's profiles, pipes and temporary files, with the servers registered.
// Must be made before the first server starts. Without registerNow the servers wait for registerServers(), which
// is a program's start-up: the moment it looks for a main server that another program started.
class LoEnvironment {
public:
    explicit LoEnvironment(bool registerNow = true);
    static void registerServers();
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString root() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

// A UTF-8 text file with a byte-order mark, one paragraph per line, as a document to open.
QString WriteTextFile(const QString& path, const QStringList& paragraphs);
QByteArray ReadBytes(const QString& path);
// The soffice processes whose command line names a path under root.
QList<qint64> OfficeProcessesUnder(const QString& root);
// The same for the watchdogs of main offices.
QList<qint64> WatchdogsUnder(const QString& root);

// Another Velmora is this test executable run again as a child with a mode of its own. The child says it is ready
// once it holds what the test needs, and keeps it until a line arrives on its standard input (or it is killed).
void SayReadyAndWait();
// Starts the child with args and waits until it says it is ready (or ends); returns what it said.
QByteArray StartChildVelmora(QProcess& child, const QStringList& args);

} // namespace velmora::test
