// What a save leaves on disk when it fails or is cut short, and where and how the files are kept.

#include "common/appfolder.h"
#include "common/datetime.h"
#include "common/errors.h"
#include "common/savefile.h"
#include "common/textcodec.h"
#include "store/librarylock.h"
#include "store/textcache.h"
#include "store/wordmgr.h"
#include "storebytes.h"
#include "tempappdata.h"
#include "unprivileged.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <QProcess>
#include <QSysInfo>

#include <chrono>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace velmora;
using namespace velmora::test;

namespace {

int modeOf(const QString& path) {
    struct stat facts {};
    return ::lstat(QFile::encodeName(path).constData(), &facts) == 0 ? int(facts.st_mode & 07777) : -1;
}

} // namespace

class TestSaves : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempAppData> m_appData;
    QString file(const char* name) const { return m_appData->file(QString::fromUtf8(name)); }

    // An old library of one record, and the bytes a save that adds /d/b.doc writes.
    QByteArray m_oldRecords;
    QByteArray m_oldStrings;
    QByteArray m_newRecords;
    QByteArray m_newStrings;

    void writeOldLibrary() {
        RecBytes a{};
        a.path = 0;
        m_oldRecords = a.bytes();
        m_oldStrings = item(QStringLiteral("/d/a.doc"));
        RecBytes b{};
        b.path = qint32(m_oldStrings.size());
        b.archive = 1;
        m_newRecords = m_oldRecords + b.bytes();
        m_newStrings = m_oldStrings + item(QStringLiteral("/d/b.doc"));
        WriteBytes(file("worddata.idx"), m_oldRecords);
        WriteBytes(file("worddata.data"), m_oldStrings);
    }

private Q_SLOTS:
    void init() {
        ::umask(022);
        m_appData = std::make_unique<TempAppData>();
    }
    void cleanup() { m_appData.reset(); }

    // What a save killed at each step leaves, and what the next opening (writing or only reading) makes of it.
    void interruptedSwitch_opensOldOrNew_data() {
        QTest::addColumn<bool>("marker");
        QTest::addColumn<bool>("stringsRenamed");
        QTest::addColumn<bool>("recordsRenamed");
        QTest::addColumn<bool>("expectNew");
        QTest::newRow("killed while writing the new files") << false << false << false << false;
        QTest::newRow("killed after the marker") << true << false << false << true;
        QTest::newRow("killed between the renames") << true << true << false << true;
        QTest::newRow("killed before removing the marker") << true << true << true << true;
    }
    void interruptedSwitch_opensOldOrNew() {
        QFETCH(bool, marker);
        QFETCH(bool, stringsRenamed);
        QFETCH(bool, recordsRenamed);
        QFETCH(bool, expectNew);
        writeOldLibrary();
        WriteBytes(file(stringsRenamed ? "worddata.data" : "worddata.data.new"), m_newStrings);
        WriteBytes(file(recordsRenamed ? "worddata.idx" : "worddata.idx.new"), m_newRecords);
        if (marker) {
            WriteBytes(file("worddata.commit"), "worddata.data\nworddata.idx\n");
        }
        const QByteArray records = expectNew ? m_newRecords : m_oldRecords;
        const QByteArray strings = expectNew ? m_newStrings : m_oldStrings;
        {
            const TWordMgr reader(file("worddata.data"), OpenMode::ReadOnly);
            QCOMPARE(reader.RecStream(), records);
            QCOMPARE(reader.DataStream(), strings);
        }
        {
            const TWordMgr writer(file("worddata.data"));
            QCOMPARE(writer.RecStream(), records);
            QCOMPARE(writer.DataStream(), strings);
        }
        QCOMPARE(ReadBytes(file("worddata.idx")), records);
        QCOMPARE(ReadBytes(file("worddata.data")), strings);
        const QStringList left =
            QDir(m_appData->path()).entryList({QStringLiteral("*.new"), QStringLiteral("*.commit")});
        QVERIFY2(left.isEmpty(), qPrintable(left.join(u' ')));
    }

    // No writer in the data folder follows a link planted at the name it replaces.
    void plantedLink_isReplacedNotFollowed_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("record file") << QStringLiteral("worddata.idx");
        QTest::newRow("string file") << QStringLiteral("worddata.data");
        QTest::newRow("text cache") << TextCachePath(QStringLiteral("/d/a.doc")).mid(m_appData->path().size());
        QTest::newRow("settings") << QStringLiteral("settings.ini");
    }
    void plantedLink_isReplacedNotFollowed() {
        QFETCH(QString, name);
        const QString victim = m_appData->file(QStringLiteral("victim"));
        WriteBytes(victim, "keep");
        QDir().mkpath(TextCacheFolder());
        QVERIFY(QFile::link(victim, m_appData->file(name)));
        {
            TWordMgr store(file("worddata.data"));
            store.ImportAWord(QStringLiteral("/d/a.doc"), QString(), QString(), 0);
            store.SaveRecDataFiles(false);
        }
        WriteTextCache(QStringLiteral("/d/a.doc"), QStringLiteral("text"));
        WriteTextFile(file("settings.ini"), {QStringLiteral("ImportDir=")});
        QCOMPARE(ReadBytes(victim), QByteArray("keep"));
        QVERIFY(!QFileInfo(m_appData->file(name)).isSymLink());
    }

    void everyWrittenFile_isOwnersOnly() {
        {
            TWordMgr store(file("worddata.data"));
            store.ImportAWord(QStringLiteral("/d/a.doc"), QString(), QStringLiteral("secret"), 0);
            store.SaveRecDataFiles(true);
        }
        WriteTextCache(QStringLiteral("/d/a.doc"), QStringLiteral("text"));
        WriteTextFile(file("TagsFre.ini"), {QStringLiteral("a=1")});
        LibraryLock lock;
        QVERIFY(lock.tryLock());
        const QString stem = QStringLiteral("databackup/") + CurrentDateTime().date().toString(Qt::ISODate);
        const QStringList names{QStringLiteral("worddata.idx"),
                                QStringLiteral("worddata.data"),
                                QStringLiteral("velmora.lock"),
                                QStringLiteral("TagsFre.ini"),
                                stem + ".idx",
                                stem + ".data",
                                TextCachePath(QStringLiteral("/d/a.doc")).mid(m_appData->path().size())};
        for (const QString& name : names) {
            QCOMPARE(modeOf(m_appData->file(name)), 0600);
        }
    }

    // A new data folder is its owner's alone and gets the delivered files; a file the user has is kept.
    void prepareDataFolder_laysDeliveredFilesOnce() {
        const QString folder = m_appData->file(QStringLiteral("new/velmora"));
        SetAppDataFolder(folder);
        PrepareDataFolder();
        QCOMPARE(modeOf(folder), 0700);
        for (const char* name : {"settings.ini", "help.docx", "macro.txt", "MyExcel.xlsx"}) {
            QFile delivered(qEnvironmentVariable("VELMORA_SOURCE_DIR") + QStringLiteral("/appdata/") + name);
            QVERIFY(delivered.open(QIODevice::ReadOnly));
            QCOMPARE(ReadBytes(folder + u'/' + QLatin1String(name)), delivered.readAll());
            QCOMPARE(modeOf(folder + u'/' + QLatin1String(name)), 0600);
        }
        WriteBytes(folder + QStringLiteral("/settings.ini"), "ImportDir=/mine\r\n");
        PrepareDataFolder();
        QCOMPARE(ReadBytes(folder + QStringLiteral("/settings.ini")), QByteArray("ImportDir=/mine\r\n"));

        // Its folders are its owner's alone too, and one an older version left open is closed.
        QVERIFY(MakePrivateFolder(folder + QStringLiteral("/databackup/20240101")));
        QCOMPARE(modeOf(folder + QStringLiteral("/databackup")), 0700);
        QCOMPARE(modeOf(folder + QStringLiteral("/databackup/20240101")), 0700);
        WriteTextCache(QStringLiteral("/notes/a.docx"), QStringLiteral("text"));
        QCOMPARE(modeOf(folder + QStringLiteral("/doctext")), 0700);
        QVERIFY(QFile::setPermissions(folder + QStringLiteral("/doctext"), QFile::ReadOwner | QFile::WriteOwner |
                                                                               QFile::ExeOwner | QFile::ReadOther |
                                                                               QFile::ExeOther));
        PrepareDataFolder();
        QCOMPARE(modeOf(folder + QStringLiteral("/doctext")), 0700);
    }

    // A lock file left by a killed process (empty, half written, naming a dead process) blocks nobody.
    void leftLockFile_isNotHeld_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("partial") << QByteArray("velmo");
        QTest::newRow("dead holder") << QByteArray("velmora\n999999\nhost\n");
    }
    void leftLockFile_isNotHeld() {
        QFETCH(QByteArray, text);
        WriteBytes(LibraryLock::lockFilePath(), text);
        LibraryLock lock;
        QVERIFY(lock.tryLock());
        LibraryLock second(LibraryLock::Holder::Window);
        QVERIFY(!second.tryLock());
        QVERIFY(second.isHeldByOther());
        QCOMPARE(second.owner().kind, LibraryLock::Holder::Tool);
        QCOMPARE(second.owner().pid, qint64(::getpid()));
    }

    // A holder takes the lock a moment before it writes its name, and may find the name of a killed holder still
    // there. A refusal in that moment still names the holder, a left name never passes for the holder's, and a
    // holder that never names itself delays the refusal only briefly.
    void lockTakenBeforeNamed_refusalNamesTheHolder_data() {
        QTest::addColumn<bool>("leftByTheDead");
        QTest::addColumn<QString>("thenHolder");
        QTest::addColumn<bool>("locked");
        QTest::addColumn<bool>("known");
        QTest::newRow("names itself a moment later") << false << "names" << false << true;
        QTest::newRow("never names itself") << false << "waits" << false << false;
        QTest::newRow("killed holder's name left, then names itself") << true << "names" << false << true;
        QTest::newRow("killed holder's name left, then ends") << true << "ends" << true << false;
    }
    void lockTakenBeforeNamed_refusalNamesTheHolder() {
        QFETCH(bool, leftByTheDead);
        QFETCH(QString, thenHolder);
        QFETCH(bool, locked);
        QFETCH(bool, known);
        QProcess gone;
        gone.start(QStringLiteral("true"));
        QVERIFY(gone.waitForStarted());
        const qint64 deadPid = gone.processId();
        QVERIFY(gone.waitForFinished());
        const QByteArray host = QSysInfo::machineHostName().toUtf8();
        WriteBytes(LibraryLock::lockFilePath(),
                   leftByTheDead ? "velmora\n" + QByteArray::number(deadPid) + '\n' + host + '\n' : QByteArray());

        // The holder, as another process would hold it: the kernel's lock on its own opening of the file.
        int holder = ::open(QFile::encodeName(LibraryLock::lockFilePath()).constData(), O_RDWR | O_CLOEXEC);
        QVERIFY(holder >= 0);
        QCOMPARE(::flock(holder, LOCK_EX | LOCK_NB), 0);
        bool named = false;
        std::thread later([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            if (thenHolder == u"names") {
                const QByteArray text = "velmoradb\n" + QByteArray::number(qint64(::getpid())) + '\n' + host + '\n';
                named = ::ftruncate(holder, 0) == 0 &&
                        ::pwrite(holder, text.constData(), size_t(text.size()), 0) == ssize_t(text.size());
            } else if (thenHolder == u"ends") {
                ::close(holder);
                holder = -1;
            }
        });
        LibraryLock second(LibraryLock::Holder::Window);
        const bool gotIt = second.tryLock();
        later.join();
        if (holder >= 0) {
            ::close(holder);
        }
        QCOMPARE(named, thenHolder == u"names");
        QCOMPARE(gotIt, locked);
        QCOMPARE(second.isHeldByOther(), !locked);
        if (!locked) {
            QCOMPARE(second.owner().known, known);
            if (known) {
                QCOMPARE(second.owner().kind, LibraryLock::Holder::Tool);
                QCOMPARE(second.owner().pid, qint64(::getpid()));
            }
        }
    }

    // The window on a folder it cannot write says why at once; the case that needs the check is a lock file
    // already there, which opens for writing even though the folder is read-only.
    void readOnlyFolder_lockGivesTheReason_data() {
        QTest::addColumn<bool>("lockFilePresent");
        QTest::newRow("no lock file") << false;
        QTest::newRow("lock file present") << true;
    }
    void readOnlyFolder_lockGivesTheReason() {
        QFETCH(bool, lockFilePresent);
        const QString folder = m_appData->file(QStringLiteral("readonly"));
        QVERIFY(QDir().mkpath(folder));
        const QString lockFile = folder + QStringLiteral("/velmora.lock");
        if (lockFilePresent) {
            WriteBytes(lockFile, QByteArray());
        }
        if (::geteuid() == 0) {
            QCOMPARE(::chown(QFile::encodeName(folder).constData(), kUnprivilegedId, kUnprivilegedId), 0);
            QCOMPARE(::lchown(QFile::encodeName(lockFile).constData(), kUnprivilegedId, kUnprivilegedId),
                     lockFilePresent ? 0 : -1);
            // The test's temporary folder is root's alone; the child must pass through it.
            QCOMPARE(::chmod(QFile::encodeName(m_appData->path()).constData(), 0711), 0);
        }
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        SetAppDataFolder(folder);
        const QString failure = RunUnprivileged([] {
            LibraryLock lock(LibraryLock::Holder::Window);
            if (lock.tryLock()) {
                return QStringLiteral("locked a read-only folder");
            }
            if (lock.isHeldByOther()) {
                return QStringLiteral("called held by another");
            }
            const QString expected = QString::fromLocal8Bit(strerror(EACCES));
            return lock.errorString() == expected ? QString() : QStringLiteral("reason: ") + lock.errorString();
        });
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(failure, QString());
    }

    // Text code page 936 holds stays byte for byte as before; other text is kept whole as UTF-8 with a BOM.
    void textFile_keepsEveryCharacter_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("ascii") << QStringLiteral("ImportDir=/home/a") << QByteArray("ImportDir=/home/a\r\n");
        QTest::newRow("chinese") << QStringLiteral("SortType=文章标题")
                                 << QByteArray("SortType=\xCE\xC4\xD5\xC2\xB1\xEA\xCC\xE2\r\n");
        QTest::newRow("korean and emoji") << QStringLiteral("ImportDir=/문서/😀")
                                          << QByteArray("\xEF\xBB\xBFImportDir=/\xEB\xAC\xB8\xEC\x84\x9C/"
                                                        "\xF0\x9F\x98\x80\r\n");
    }
    void textFile_keepsEveryCharacter() {
        QFETCH(QString, line);
        QFETCH(QByteArray, bytes);
        WriteTextFile(file("settings.ini"), {line});
        QCOMPARE(ReadBytes(file("settings.ini")), bytes);
        QCOMPARE(ReadTextFile(file("settings.ini")), QStringList{line});
        WriteTextCache(QStringLiteral("/d/a.doc"), line);
        QCOMPARE(ReadTextCache(QStringLiteral("/d/a.doc")), line + QStringLiteral("\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestSaves)
#include "tst_saves.moc"
