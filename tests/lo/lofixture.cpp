#include "lofixture.h"

#include "office/libreoffice/libreoffice.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <cstdio>
#include <iostream>
#include <string>

namespace velmora::test {

LoEnvironment::LoEnvironment(bool registerNow) {
    QDir().mkpath(m_dir.filePath(QStringLiteral("tmp")));
    QDir().mkpath(m_dir.filePath(QStringLiteral("cache")));
    // Private profiles follow the temporary folder, the main server's profile and pipe name the cache folder.
    qputenv("TMPDIR", m_dir.filePath(QStringLiteral("tmp")).toUtf8());
    qputenv("XDG_CACHE_HOME", m_dir.filePath(QStringLiteral("cache")).toUtf8());
    if (registerNow) {
        registerServers();
    }
}

void LoEnvironment::registerServers() {
    if (!RegisterLibreOfficeServers()) {
        qFatal("LibreOffice is not installed");
    }
}

QString WriteTextFile(const QString& path, const QStringList& paragraphs) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        qFatal("cannot write %s", qPrintable(path));
    }
    file.write("\xEF\xBB\xBF");
    file.write(paragraphs.join(QLatin1Char('\n')).toUtf8() + '\n');
    return path;
}

QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

namespace {

QList<qint64> ProcessesUnder(const QString& root, const QByteArray& program) {
    QList<qint64> pids;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        bool ok = false;
        const qint64 pid = entry.toLongLong(&ok);
        if (!ok) {
            continue;
        }
        const QByteArray cmdline = ReadBytes(QStringLiteral("/proc/%1/cmdline").arg(entry));
        if (cmdline.contains(program) && cmdline.contains(root.toUtf8())) {
            pids.append(pid);
        }
    }
    return pids;
}

} // namespace

QList<qint64> OfficeProcessesUnder(const QString& root) {
    return ProcessesUnder(root, "soffice.bin");
}

QList<qint64> WatchdogsUnder(const QString& root) {
    return ProcessesUnder(root, "velmora-officewatch");
}

void SayReadyAndWait() {
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    std::string line;
    std::getline(std::cin, line);
}

QByteArray StartChildVelmora(QProcess& child, const QStringList& args) {
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), args);
    QByteArray said;
    // An office starting on a busy machine may take long; the child never answers before it is up.
    while (!said.contains('\n') && child.waitForReadyRead(120000)) {
        said += child.readAll();
    }
    return said;
}

} // namespace velmora::test
