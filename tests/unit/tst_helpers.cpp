#include "common/appfolder.h"
#include "common/datetime.h"
#include "common/fileinfo.h"
#include "common/gridsort.h"
#include "common/pinyin.h"
#include "common/prompts.h"
#include "common/titlewidth.h"
#include "scriptedprompts.h"
#include "tempappdata.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace velmora;
using velmora::test::ScriptedPrompts;
using velmora::test::WriteBytes;

namespace {

QStringList column(const StringGrid& grid, int col) {
    QStringList cells;
    for (int row = 0; row < grid.rowCount(); ++row) {
        cells.append(grid.cell(row, col));
    }
    return cells;
}

StringGrid gridOfKeys(const QStringList& keys) {
    StringGrid grid;
    for (qsizetype i = 0; i < keys.size(); ++i) {
        grid.rows.append({keys[i], QString::number(i)});
    }
    return grid;
}

// The row id (second cell) must travel with its key: a sort that moved only one column would pass a test that
// looks at the key column alone.
bool rowsKeptTogether(const StringGrid& sorted, const QStringList& originalKeys) {
    for (const QStringList& row : sorted.rows) {
        const QString original = originalKeys.value(row.value(1).toInt());
        if (row.value(0) != original && !(original.isEmpty() && row.value(0) == QLatin1String("0"))) {
            return false;
        }
    }
    return true;
}

// Holds an fcntl write lock on a file from a child process, as another program holding the file does; a lock
// of our own process would not be seen by F_GETLK.
class ForeignLock final {
public:
    explicit ForeignLock(const QString& path) {
        if (::pipe(m_ready) != 0 || ::pipe(m_release) != 0) {
            return;
        }
        const QByteArray native = QFile::encodeName(path);
        m_child = ::fork();
        if (m_child == 0) {
            ::close(m_ready[0]);
            ::close(m_release[1]);
            const int fd = ::open(native.constData(), O_RDWR);
            struct flock lock {};
            lock.l_type = F_WRLCK;
            lock.l_whence = SEEK_SET;
            const char ok = (fd >= 0 && ::fcntl(fd, F_SETLK, &lock) == 0) ? '1' : '0';
            if (::write(m_ready[1], &ok, 1) != 1) {
                ::_exit(1);
            }
            char byte = 0;
            while (::read(m_release[0], &byte, 1) > 0) {
            }
            ::_exit(0);
        }
        ::close(m_ready[1]);
        ::close(m_release[0]);
        char ok = '0';
        m_locked = m_child > 0 && ::read(m_ready[0], &ok, 1) == 1 && ok == '1';
    }
    ~ForeignLock() {
        ::close(m_release[1]);
        ::close(m_ready[0]);
        if (m_child > 0) {
            ::waitpid(m_child, nullptr, 0);
        }
    }
    Q_DISABLE_COPY_MOVE(ForeignLock)

    bool locked() const { return m_locked; }

private:
    int m_ready[2] = {-1, -1};
    int m_release[2] = {-1, -1};
    pid_t m_child = -1;
    bool m_locked = false;
};

class ArgumentPrompts final : public Prompts {
public:
    ArgumentPrompts() { InstallPrompts(this); }
    ~ArgumentPrompts() override { InstallPrompts(nullptr); }
    Q_DISABLE_COPY_MOVE(ArgumentPrompts)

    QStringList saveArguments;
    QString pick;

    void info(const QString&) override {}
    void error(const QString&, const QString&) override {}
    bool yesNo(const QString&) override { return false; }
    Answer yesNoCancel(const QString&) override { return Answer::Cancel; }
    QStringList openFiles(bool, const QString&, const QString&, const QString&) override { return {}; }
    QString saveFile(const QString& initialDir, const QString& fileName, const QString& title, const QString& filter,
                     const QString& defaultExt) override {
        saveArguments = {initialDir, fileName, title, filter, defaultExt};
        return pick;
    }
    QString folder(const QString&, const QString&) override { return {}; }
};

const QString kSortErrorStart = QStringLiteral("error: 系统错误: 系统在排序数据的时候遇到异常:\r");
const QString kSortErrorEnd = QStringLiteral("\r请重试，如果该问题依然存在请与程序供应商联系！");

// The child modes below run in a process of their own, because Qt reads the system locale from the
// environment only once per process.
int runChildMode(const QString& mode, const QStringList& args) {
    if (mode == QLatin1String("--size-to-text")) {
        std::printf("%s", SizeToText(args.value(0).toLongLong()).toUtf8().constData());
        return 0;
    }
    if (mode == QLatin1String("--sort-numbers")) {
        StringGrid grid;
        for (const QString& arg : args) {
            grid.rows.append({arg});
        }
        SortGrid(grid, 0, true, true);
        std::printf("%s", column(grid, 0).join(u'|').toUtf8().constData());
        return 0;
    }
    return 2;
}

QString runChild(const QByteArray& locale, const QStringList& args) {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QString::fromLatin1(locale));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), args);
    if (!child.waitForFinished(30000) || child.exitCode() != 0) {
        return QStringLiteral("<child failed: %1>").arg(QString::fromLocal8Bit(child.readAllStandardError()));
    }
    return QString::fromUtf8(child.readAllStandardOutput());
}

} // namespace

class TestHelpers final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void pinyinInitials_data();
    void pinyinInitials();
    void isCjkChar_data();
    void isCjkChar();
    void displayWidth_data();
    void displayWidth();
    void shortenTitle_data();
    void shortenTitle();

    void sizeToText_data();
    void sizeToText();
    void sizeToText_usesUserDecimalSeparator();
    void makeFileFilter_data();
    void makeFileFilter();
    void cleanFolderName_data();
    void cleanFolderName();
    void withTrailingBackslash_data();
    void withTrailingBackslash();
    void appFolder_keepsCaseWithDelimiter();

    void listFiles_data();
    void listFiles();
    void getFileSizeOf_data();
    void getFileSizeOf();
    void fileInUse_missingOrFree_isFalse();
    void fileInUse_flockHeld_isTrue();
    void fileInUse_fcntlLockOfOtherProcess_isTrue();
    void fileInUse_officeLockFile_data();
    void fileInUse_officeLockFile();
    void getFileDate_writtenTimeInDays();

    void daysToDateTime_data();
    void daysToDateTime();
    void dateTimeToDays_data();
    void dateTimeToDays();
    void dateTimeToDays_roundTripWithMilliseconds_data();
    void dateTimeToDays_roundTripWithMilliseconds();
    void dateTimeToDays_convertsToLocalTime();

    void sortGrid_data();
    void sortGrid();
    void sortGrid_fixedRowsAndColumnsStay();
    void sortGrid_randomKeys_sortedPermutation_data();
    void sortGrid_randomKeys_sortedPermutation();
    void sortGrid_notANumber_showsSystemErrorBox();
    void sortGrid_numeric_usesUserDecimalSeparator();
    void sortListByPinyin_data();
    void sortListByPinyin();

    void pickSaveName_data();
    void pickSaveName();
    void pickSaveName_passesFilterAndExtension();
    void pickFiles_data();
    void pickFiles();
};

void TestHelpers::pinyinInitials_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("initials");
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("mixed chinese and ascii") << QStringLiteral("Word文档v2.docx") << QStringLiteral("WordWDv2.docx");
    QTest::newRow("ascii case kept") << QStringLiteral("aBc-9_Z") << QStringLiteral("aBc-9_Z");
    // The first and last character of every letter's block.
    QTest::newRow("block boundaries")
        << QStringLiteral(
               "啊澳芭怖擦错搭堕蛾贰发咐噶过哈祸击骏喀阔垃络妈穆拿诺哦沤啪瀑期群然弱撒所塌唾挖误昔迅压孕匝座")
        << QStringLiteral("AABBCCDDEEFFGGHHJJKKLLMMNNOOPPQQRRSSTTWWXXYYZZ");
    QTest::newRow("just below the first block (B0A0)") << QStringLiteral("盃") << QStringLiteral("盃");
    QTest::newRow("second level (D8A1)") << QStringLiteral("亍x") << QStringLiteral("亍x");
    QTest::newRow("gbk extension code inside a block (B140)") << QStringLiteral("盄") << QStringLiteral("B");
    QTest::newRow("double-byte punctuation and letters") << QStringLiteral("Ａ，。　") << QStringLiteral("Ａ，。　");
    QTest::newRow("not in gbk") << QStringLiteral("한") << QStringLiteral("한");
    QTest::newRow("surrogate pair, one unit each") << QStringLiteral("北😀京") << QStringLiteral("B😀J");
    QTest::newRow("first and last of the cjk range") << QStringLiteral("一龥") << QStringLiteral("Y龥");
}

void TestHelpers::pinyinInitials() {
    QFETCH(QString, text);
    QFETCH(QString, initials);
    QCOMPARE(PinyinInitials(text), initials);
}

void TestHelpers::isCjkChar_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("cjk");
    QTest::newRow("U+4DFF") << 0x4DFF << false;
    QTest::newRow("U+4E00") << 0x4E00 << true;
    QTest::newRow("U+9FA5") << 0x9FA5 << true;
    QTest::newRow("U+9FA6") << 0x9FA6 << false;
    QTest::newRow("ideographic space") << 0x3000 << false;
    QTest::newRow("A") << 0x41 << false;
    QTest::newRow("compatibility ideograph") << 0xF900 << false;
}

void TestHelpers::isCjkChar() {
    QFETCH(int, code);
    QFETCH(bool, cjk);
    QCOMPARE(IsCjkChar(QChar(char16_t(code))), cjk);
}

void TestHelpers::displayWidth_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("one ascii") << QStringLiteral("a") << 1;
    QTest::newRow("two ascii") << QStringLiteral("ab") << 1;
    QTest::newRow("three ascii") << QStringLiteral("abc") << 2;
    QTest::newRow("chinese") << QStringLiteral("中文") << 2;
    QTest::newRow("chinese and one ascii") << QStringLiteral("中a") << 2;
    QTest::newRow("chinese and three ascii") << QStringLiteral("a中bc") << 3;
    QTest::newRow("full-width punctuation counts half") << QStringLiteral("，，，") << 2;
    QTest::newRow("U+9FA6 counts half") << QStringLiteral("\u9FA6") << 1;
}

void TestHelpers::displayWidth() {
    QFETCH(QString, text);
    QFETCH(int, width);
    QCOMPARE(DisplayWidth(text), width);
}

void TestHelpers::shortenTitle_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shortened");
    const QString chinese15 = QStringLiteral("一二三四五六七八九十甲乙丙丁戊");
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("15 chinese kept") << chinese15 << chinese15;
    QTest::newRow("16 chinese") << chinese15 + QStringLiteral("己") << chinese15 + QStringLiteral("…");
    QTest::newRow("20 ascii kept, width 10")
        << QStringLiteral("abcdefghijklmnopqrst") << QStringLiteral("abcdefghijklmnopqrst");
    QTest::newRow("30 ascii kept, width 15") << QString(30, u'x') << QString(30, u'x');
    QTest::newRow("31 ascii, one removed") << QString(31, u'x') << QString(30, u'x') + QStringLiteral("…");
    QTest::newRow("ascii first, last chinese removed")
        << QStringLiteral("a") + chinese15 << QStringLiteral("a") + chinese15.left(14) + QStringLiteral("…");
    QTest::newRow("two ascii at the end both removed")
        << chinese15 + QStringLiteral("ab") << chinese15 + QStringLiteral("…");
    QTest::newRow("one of three ascii removed")
        << chinese15.left(14) + QStringLiteral("abc") << chinese15.left(14) + QStringLiteral("ab…");
}

void TestHelpers::shortenTitle() {
    QFETCH(QString, text);
    QFETCH(QString, shortened);
    QCOMPARE(ShortenTitle(text), shortened);
}

void TestHelpers::sizeToText_data() {
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << qint64(0) << QStringLiteral("0 Byte(s)");
    QTest::newRow("1023") << qint64(1023) << QStringLiteral("1023 Byte(s)");
    QTest::newRow("1024") << qint64(1024) << QStringLiteral("1.00 KB");
    QTest::newRow("1536") << qint64(1536) << QStringLiteral("1.50 KB");
    QTest::newRow("just below 1 MB rounds up") << qint64(1048575) << QStringLiteral("1024.00 KB");
    QTest::newRow("1048576") << qint64(1048576) << QStringLiteral("1.00 MB");
    QTest::newRow("2.25 MB") << qint64(2359296) << QStringLiteral("2.25 MB");
    QTest::newRow("just below 1 GB") << qint64(1073741823) << QStringLiteral("1024.00 MB");
    QTest::newRow("1073741824") << qint64(1073741824) << QStringLiteral("1.00 GB");
    QTest::newRow("5 TB, no group separator") << qint64(5) * 1024 * 1024 * 1024 * 1024 << QStringLiteral("5120.00 GB");
}

void TestHelpers::sizeToText() {
    QFETCH(qint64, size);
    QFETCH(QString, text);
    QCOMPARE(SizeToText(size), text);
}

void TestHelpers::sizeToText_usesUserDecimalSeparator() {
    QCOMPARE(runChild("de_DE.UTF-8", {QStringLiteral("--size-to-text"), QStringLiteral("1536")}),
             QStringLiteral("1,50 KB"));
    QCOMPARE(runChild("de_DE.UTF-8", {QStringLiteral("--size-to-text"), QStringLiteral("5497558138880")}),
             QStringLiteral("5120,00 GB"));
    QCOMPARE(runChild("de_DE.UTF-8", {QStringLiteral("--size-to-text"), QStringLiteral("1023")}),
             QStringLiteral("1023 Byte(s)"));
}

void TestHelpers::makeFileFilter_data() {
    QTest::addColumn<QString>("ext");
    QTest::addColumn<QString>("filter");
    QTest::newRow(".docx") << QStringLiteral(".docx") << QStringLiteral("*.docx 文件|*.docx");
    QTest::newRow(".txt") << QStringLiteral(".txt") << QStringLiteral("*.txt 文件|*.txt");
    QTest::newRow("none") << QString() << QStringLiteral("All(*.*)|*.*");
}

void TestHelpers::makeFileFilter() {
    QFETCH(QString, ext);
    QFETCH(QString, filter);
    QCOMPARE(MakeFileFilter(ext), filter);
}

void TestHelpers::cleanFolderName_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("clean");
    QTest::newRow("plain") << QStringLiteral("读书笔记") << QStringLiteral("读书笔记");
    QTest::newRow("every forbidden character")
        << QStringLiteral("a\"b*c:d<e>f?g\\h|i/j") << QStringLiteral("abcdefghij");
    QTest::newRow("trimmed of controls and spaces")
        << QStringLiteral("\t\r\n \x01name\x1f \n") << QStringLiteral("name");
    QTest::newRow("inner spaces kept") << QStringLiteral(" my notes ") << QStringLiteral("my notes");
    QTest::newRow("other punctuation kept") << QStringLiteral("a.b-c_d(e)[f]'g") << QStringLiteral("a.b-c_d(e)[f]'g");
    QTest::newRow("only forbidden") << QStringLiteral("\\/:*?\"<>|") << QString();
    QTest::newRow("only blank") << QStringLiteral(" \t ") << QString();
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("full-width look-alikes kept") << QStringLiteral("a：b？") << QStringLiteral("a：b？");
}

void TestHelpers::cleanFolderName() {
    QFETCH(QString, name);
    QFETCH(QString, clean);
    QCOMPARE(CleanFolderName(name), clean);
}

void TestHelpers::withTrailingBackslash_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("result");
    QTest::newRow("without") << QStringLiteral("/home/User") << QStringLiteral("/home/User/");
    QTest::newRow("with") << QStringLiteral("/home/User/") << QStringLiteral("/home/User/");
    QTest::newRow("empty") << QString() << QStringLiteral("/");
}

void TestHelpers::withTrailingBackslash() {
    QFETCH(QString, path);
    QFETCH(QString, result);
    QCOMPARE(WithTrailingBackslash(path), result);
}

void TestHelpers::appFolder_keepsCaseWithDelimiter() {
    QCOMPARE(AppFolder(), QDir::toNativeSeparators(QCoreApplication::applicationDirPath()) + QDir::separator());
}

void TestHelpers::listFiles_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<bool>("recurse");
    QTest::addColumn<QStringList>("expected");
    const QStringList folderLines{QStringLiteral("a/"), QStringLiteral("a/deep/"), QStringLiteral("c/")};
    QTest::newRow("doc and docx, recursive")
        << QStringLiteral(".doc.docx") << true
        << QStringList{QStringLiteral("b.doc"),         QStringLiteral("z.DOCX"),  QStringLiteral("a/"),
                       QStringLiteral("a/a1.doc"),      QStringLiteral("a/deep/"), QStringLiteral("a/deep/.hidden.doc"),
                       QStringLiteral("a/deep/d.docx"), QStringLiteral("c/")};
    QTest::newRow("doc and docx, this folder only")
        << QStringLiteral(".doc.docx") << false << QStringList{QStringLiteral("b.doc"), QStringLiteral("z.DOCX")};
    const QStringList everything{QStringLiteral("b.doc"),
                                 QStringLiteral("c.txt"),
                                 QStringLiteral("notes"),
                                 QStringLiteral("z.DOCX"),
                                 QStringLiteral("a/"),
                                 QStringLiteral("a/a1.doc"),
                                 QStringLiteral("a/deep/"),
                                 QStringLiteral("a/deep/.hidden.doc"),
                                 QStringLiteral("a/deep/d.docx"),
                                 QStringLiteral("c/")};
    QTest::newRow("*.* takes every file, also one without extension") << QStringLiteral("*.*") << true << everything;
    QTest::newRow("empty filter takes every file") << QString() << true << everything;
    QTest::newRow("folder lines even without a match")
        << QStringLiteral(".txt") << true << QStringList{QStringLiteral("c.txt")} + folderLines;
    QTest::newRow("no match here") << QStringLiteral(".xls") << false << QStringList();
}

void TestHelpers::listFiles() {
    QFETCH(QString, filter);
    QFETCH(bool, recurse);
    QFETCH(QStringList, expected);
    QTemporaryDir tmp;
    const QString root = tmp.path() + u'/';
    QVERIFY(QDir(root).mkpath(QStringLiteral("a/deep")));
    QVERIFY(QDir(root).mkpath(QStringLiteral("c")));
    for (const QString& name :
         {QStringLiteral("b.doc"), QStringLiteral("z.DOCX"), QStringLiteral("notes"), QStringLiteral("c.txt"),
          QStringLiteral("a/a1.doc"), QStringLiteral("a/deep/d.docx"), QStringLiteral("a/deep/.hidden.doc")}) {
        WriteBytes(root + name, QByteArrayLiteral("x"));
    }
    QStringList list{QStringLiteral("already there")};
    ListFiles(root, filter, recurse, list);
    QStringList full{QStringLiteral("already there")};
    for (const QString& name : expected) {
        full.append(root + name);
    }
    QCOMPARE(list, full);
}

void TestHelpers::getFileSizeOf_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint64>("size");
    QTest::newRow("exact name") << QStringLiteral("b.txt") << qint64(7);
    QTest::newRow("empty file") << QStringLiteral("empty.dat") << qint64(0);
    QTest::newRow("wildcard takes the first match") << QStringLiteral("*.txt") << qint64(5);
    QTest::newRow("wildcard with one match") << QStringLiteral("b*") << qint64(7);
    QTest::newRow("question mark") << QStringLiteral("?.txt") << qint64(5);
    QTest::newRow("missing") << QStringLiteral("none.txt") << qint64(-1);
    QTest::newRow("wildcard without match") << QStringLiteral("*.none") << qint64(-1);
    QTest::newRow("a folder is not a file") << QStringLiteral("sub") << qint64(-1);
    QTest::newRow("wildcard matching only a folder") << QStringLiteral("su*") << qint64(-1);
    QTest::newRow("in a missing folder") << QStringLiteral("gone/*.txt") << qint64(-1);
}

void TestHelpers::getFileSizeOf() {
    QFETCH(QString, name);
    QFETCH(qint64, size);
    QTemporaryDir tmp;
    QVERIFY(QDir(tmp.path()).mkdir(QStringLiteral("sub")));
    WriteBytes(tmp.filePath(QStringLiteral("a.txt")), QByteArrayLiteral("12345"));
    WriteBytes(tmp.filePath(QStringLiteral("b.txt")), QByteArrayLiteral("1234567"));
    WriteBytes(tmp.filePath(QStringLiteral("empty.dat")), QByteArray());
    QCOMPARE(GetFileSizeOf(tmp.filePath(name)), size);
}

void TestHelpers::fileInUse_missingOrFree_isFalse() {
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("book.xlsx"));
    QVERIFY(!FileInUse(path));
    WriteBytes(path, QByteArrayLiteral("x"));
    QVERIFY(!FileInUse(path));
    // Merely opened by someone, without a lock, is not in use.
    QFile reader(path);
    QVERIFY(reader.open(QIODevice::ReadWrite));
    QVERIFY(!FileInUse(path));
    // A folder is not a file, so it is no file in use.
    QVERIFY(!FileInUse(tmp.path()));
}

void TestHelpers::fileInUse_flockHeld_isTrue() {
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("book.xlsx"));
    WriteBytes(path, QByteArrayLiteral("x"));
    // flock locks belong to an open file description, so a second open() conflicts like another process would.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC);
    QVERIFY(fd >= 0);
    QCOMPARE(::flock(fd, LOCK_EX | LOCK_NB), 0);
    const bool held = FileInUse(path);
    ::flock(fd, LOCK_UN);
    const bool released = !FileInUse(path);
    ::close(fd);
    QVERIFY(held);
    QVERIFY(released);
}

void TestHelpers::fileInUse_fcntlLockOfOtherProcess_isTrue() {
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("book.xlsx"));
    WriteBytes(path, QByteArrayLiteral("x"));
    {
        const ForeignLock lock(path);
        QVERIFY(lock.locked());
        QVERIFY(FileInUse(path));
    }
    QVERIFY(!FileInUse(path));
}

// LibreOffice marks a document it has open with ".~lock.NAME#" beside it, and takes no kernel lock.
void TestHelpers::fileInUse_officeLockFile_data() {
    QTest::addColumn<QString>("lockName");
    QTest::addColumn<bool>("held");
    QTest::newRow("its own lock file") << ".~lock.笔记 1.docx#" << true;
    QTest::newRow("another document's") << ".~lock.笔记 2.docx#" << false;
    QTest::newRow("without the closing #") << ".~lock.笔记 1.docx" << false;
    QTest::newRow("letter case differs") << ".~lock.笔记 1.DOCX#" << false;
}

void TestHelpers::fileInUse_officeLockFile() {
    QFETCH(QString, lockName);
    QFETCH(bool, held);
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("笔记 1.docx"));
    WriteBytes(path, QByteArrayLiteral("x"));
    WriteBytes(tmp.filePath(lockName), QByteArrayLiteral(",user,host,09.12.2026 10:00,file:///home/user;"));
    QCOMPARE(FileInUse(path), held);
}

void TestHelpers::getFileDate_writtenTimeInDays() {
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("a.doc"));
    QVERIFY(!GetFileDate(path, FileDateKind::Written).has_value());
    WriteBytes(path, QByteArrayLiteral("x"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime(QDate(2020, 5, 6), QTime(7, 8, 9)), QFileDevice::FileModificationTime));
    file.close();
    const std::optional<double> days = GetFileDate(path, FileDateKind::Written);
    QVERIFY(days.has_value());
    QVERIFY2(std::fabs(*days - (43957.0 + 25689.0 / 86400.0)) < 1e-6, qPrintable(QString::number(*days, 'f', 9)));
}

void TestHelpers::daysToDateTime_data() {
    QTest::addColumn<double>("days");
    QTest::addColumn<QDateTime>("dateTime");
    QTest::newRow("0.0") << 0.0 << QDateTime(QDate(1899, 12, 30), QTime(0, 0));
    QTest::newRow("1.25") << 1.25 << QDateTime(QDate(1899, 12, 31), QTime(6, 0));
    QTest::newRow("2.0") << 2.0 << QDateTime(QDate(1900, 1, 1), QTime(0, 0));
    // A negative value counts whole days back; its fraction is still the time after midnight.
    QTest::newRow("-1.5") << -1.5 << QDateTime(QDate(1899, 12, 29), QTime(12, 0));
    QTest::newRow("-1.25") << -1.25 << QDateTime(QDate(1899, 12, 29), QTime(6, 0));
    QTest::newRow("-0.25") << -0.25 << QDateTime(QDate(1899, 12, 30), QTime(6, 0));
    QTest::newRow("2026-12-09 00:30") << 46365.0 + 1.0 / 48.0 << QDateTime(QDate(2026, 12, 9), QTime(0, 30));
}

void TestHelpers::daysToDateTime() {
    QFETCH(double, days);
    QFETCH(QDateTime, dateTime);
    QCOMPARE(DaysToDateTime(days), dateTime);
}

void TestHelpers::dateTimeToDays_data() {
    QTest::addColumn<QDateTime>("dateTime");
    QTest::addColumn<double>("days");
    QTest::newRow("epoch") << QDateTime(QDate(1899, 12, 30), QTime(0, 0)) << 0.0;
    QTest::newRow("1899-12-31 06:00") << QDateTime(QDate(1899, 12, 31), QTime(6, 0)) << 1.25;
    QTest::newRow("1899-12-29 12:00") << QDateTime(QDate(1899, 12, 29), QTime(12, 0)) << -1.5;
    QTest::newRow("1899-12-29 00:00") << QDateTime(QDate(1899, 12, 29), QTime(0, 0)) << -1.0;
    QTest::newRow("1850-06-01 18:00") << QDateTime(QDate(1850, 6, 1), QTime(18, 0)) << -18109.75;
    QTest::newRow("2020-05-06 07:08:09") << QDateTime(QDate(2020, 5, 6), QTime(7, 8, 9)) << 43957.0 + 25689.0 / 86400.0;
}

void TestHelpers::dateTimeToDays() {
    QFETCH(QDateTime, dateTime);
    QFETCH(double, days);
    QVERIFY2(std::fabs(DateTimeToDays(dateTime) - days) < 1e-9,
             qPrintable(QString::number(DateTimeToDays(dateTime), 'f', 12)));
}

void TestHelpers::dateTimeToDays_roundTripWithMilliseconds_data() {
    QTest::addColumn<QDateTime>("dateTime");
    QTest::newRow("recent") << QDateTime(QDate(2026, 12, 8), QTime(13, 45, 30, 123));
    QTest::newRow("last millisecond of a day") << QDateTime(QDate(2026, 12, 8), QTime(23, 59, 59, 999));
    QTest::newRow("first millisecond of a day") << QDateTime(QDate(2001, 1, 1), QTime(0, 0, 0, 1));
    QTest::newRow("before the epoch") << QDateTime(QDate(1850, 6, 1), QTime(7, 8, 9, 456));
    QTest::newRow("far future") << QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999));
}

void TestHelpers::dateTimeToDays_roundTripWithMilliseconds() {
    QFETCH(QDateTime, dateTime);
    QCOMPARE(DaysToDateTime(DateTimeToDays(dateTime)), dateTime);
}

void TestHelpers::dateTimeToDays_convertsToLocalTime() {
    // The process runs eight hours east of UTC (see main).
    const QDateTime utc(QDate(2026, 12, 8), QTime(16, 30), Qt::UTC);
    QVERIFY(std::fabs(DateTimeToDays(utc) - (46365.0 + 1.0 / 48.0)) < 1e-9);
    QVERIFY(!DaysToDateTime(std::nan("")).isValid());
}

void TestHelpers::sortGrid_data() {
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<bool>("ascending");
    QTest::addColumn<bool>("numeric");
    QTest::addColumn<QStringList>("sorted");
    const QStringList text{QStringLiteral("b"), QStringLiteral("B"), QStringLiteral("中"), QStringLiteral("a"),
                           QStringLiteral("1"), QStringLiteral("A"), QStringLiteral("ab"), QString()};
    QTest::newRow("text ascending is ordinal")
        << text << true << false
        << QStringList{QString(),           QStringLiteral("1"),  QStringLiteral("A"), QStringLiteral("B"),
                       QStringLiteral("a"), QStringLiteral("ab"), QStringLiteral("b"), QStringLiteral("中")};
    QTest::newRow("text descending") << text << false << false << QStringList{QStringLiteral("中"), QStringLiteral("b"),
                                                                              QStringLiteral("ab"), QStringLiteral("a"),
                                                                              QStringLiteral("B"),  QStringLiteral("A"),
                                                                              QStringLiteral("1"),  QString()};
    const QStringList numbers{QStringLiteral("10"),  QStringLiteral("9"),  QString(),
                              QStringLiteral("2.5"), QStringLiteral("-1"), QStringLiteral("100"),
                              QStringLiteral("0.5")};
    QTest::newRow("numeric ascending, empty becomes 0")
        << numbers << true << true
        << QStringList{QStringLiteral("-1"), QStringLiteral("0"),  QStringLiteral("0.5"), QStringLiteral("2.5"),
                       QStringLiteral("9"),  QStringLiteral("10"), QStringLiteral("100")};
    QTest::newRow("numeric descending") << numbers << false << true
                                        << QStringList{QStringLiteral("100"), QStringLiteral("10"),
                                                       QStringLiteral("9"),   QStringLiteral("2.5"),
                                                       QStringLiteral("0.5"), QStringLiteral("0"),
                                                       QStringLiteral("-1")};
    QTest::newRow("numeric equal values")
        << QStringList{QStringLiteral("3"), QStringLiteral("1"), QStringLiteral("3"), QStringLiteral("1")} << true
        << true << QStringList{QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("3"), QStringLiteral("3")};
    QTest::newRow("text is not numeric") << QStringList{QStringLiteral("10"), QStringLiteral("9")} << true << false
                                         << QStringList{QStringLiteral("10"), QStringLiteral("9")};
    QTest::newRow("one row") << QStringList{QStringLiteral("x")} << true << false << QStringList{QStringLiteral("x")};
    QTest::newRow("no rows") << QStringList() << true << true << QStringList();
    QTest::newRow("two rows swapped") << QStringList{QStringLiteral("b"), QStringLiteral("a")} << true << false
                                      << QStringList{QStringLiteral("a"), QStringLiteral("b")};
}

void TestHelpers::sortGrid() {
    QFETCH(QStringList, keys);
    QFETCH(bool, ascending);
    QFETCH(bool, numeric);
    QFETCH(QStringList, sorted);
    ScriptedPrompts prompts;
    StringGrid grid = gridOfKeys(keys);
    SortGrid(grid, 0, ascending, numeric);
    QCOMPARE(column(grid, 0), sorted);
    QVERIFY(rowsKeptTogether(grid, keys));
    QCOMPARE(prompts.log, QStringList());
}

void TestHelpers::sortGrid_fixedRowsAndColumnsStay() {
    ScriptedPrompts prompts;
    StringGrid grid;
    grid.fixedRows = 1;
    grid.fixedCols = 1;
    grid.rows = {
        {QStringLiteral("#"), QStringLiteral("名称"), QStringLiteral("次数")},
        {QStringLiteral("1"), QStringLiteral("c"), QStringLiteral("5")},
        {QStringLiteral("2"), QStringLiteral("a"), QString()},
        {QStringLiteral("3"), QStringLiteral("b"), QStringLiteral("12")},
    };
    SortGrid(grid, 2, true, true);
    QCOMPARE(grid.rows, (QList<QStringList>{
                            {QStringLiteral("#"), QStringLiteral("名称"), QStringLiteral("次数")},
                            {QStringLiteral("1"), QStringLiteral("a"), QStringLiteral("0")},
                            {QStringLiteral("2"), QStringLiteral("c"), QStringLiteral("5")},
                            {QStringLiteral("3"), QStringLiteral("b"), QStringLiteral("12")},
                        }));
    SortGrid(grid, 1, false, false);
    QCOMPARE(column(grid, 0),
             (QStringList{QStringLiteral("#"), QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")}));
    QCOMPARE(column(grid, 1),
             (QStringList{QStringLiteral("名称"), QStringLiteral("c"), QStringLiteral("b"), QStringLiteral("a")}));
    QCOMPARE(column(grid, 2),
             (QStringList{QStringLiteral("次数"), QStringLiteral("5"), QStringLiteral("12"), QStringLiteral("0")}));

    // Only the fixed header row is left: nothing to sort, and the header is not read as a number.
    StringGrid header;
    header.fixedRows = 1;
    header.rows = {{QStringLiteral("名称")}};
    SortGrid(header, 0, true, true);
    QCOMPARE(header.rows, (QList<QStringList>{{QStringLiteral("名称")}}));
    QCOMPARE(prompts.log, QStringList());
}

void TestHelpers::sortGrid_randomKeys_sortedPermutation_data() {
    QTest::addColumn<bool>("ascending");
    QTest::addColumn<bool>("numeric");
    QTest::addColumn<int>("count");
    for (const int count : {3, 17, 500}) {
        for (const bool numeric : {false, true}) {
            for (const bool ascending : {true, false}) {
                QTest::addRow("%d rows, %s, %s", count, numeric ? "numeric" : "text",
                              ascending ? "ascending" : "descending")
                    << ascending << numeric << count;
            }
        }
    }
}

void TestHelpers::sortGrid_randomKeys_sortedPermutation() {
    QFETCH(bool, ascending);
    QFETCH(bool, numeric);
    QFETCH(int, count);
    QRandomGenerator random(count * 4 + int(numeric) * 2 + int(ascending));
    QStringList keys;
    for (int i = 0; i < count; ++i) {
        // Few distinct values, so that many rows share a key.
        const int value = int(random.bounded(count / 3 + 2));
        keys.append(numeric ? QString::number(value - count / 6) : QStringLiteral("k%1").arg(value));
    }
    ScriptedPrompts prompts;
    StringGrid grid = gridOfKeys(keys);
    SortGrid(grid, 0, ascending, numeric);

    QStringList ids = column(grid, 1);
    std::sort(ids.begin(), ids.end(), [](const QString& a, const QString& b) { return a.toInt() < b.toInt(); });
    QStringList expectedIds;
    for (int i = 0; i < count; ++i) {
        expectedIds.append(QString::number(i));
    }
    QCOMPARE(ids, expectedIds);
    QVERIFY(rowsKeptTogether(grid, keys));
    const QStringList sorted = column(grid, 0);
    for (int i = 1; i < count; ++i) {
        const int order = numeric ? (sorted[i - 1].toDouble() < sorted[i].toDouble()   ? -1
                                     : sorted[i - 1].toDouble() > sorted[i].toDouble() ? 1
                                                                                       : 0)
                                  : QString::compare(sorted[i - 1], sorted[i]);
        QVERIFY2(ascending ? order <= 0 : order >= 0, qPrintable(QStringLiteral("row %1").arg(i)));
    }
    QCOMPARE(prompts.log, QStringList());
}

void TestHelpers::sortGrid_notANumber_showsSystemErrorBox() {
    ScriptedPrompts prompts;
    const QStringList keys{QStringLiteral("3"), QStringLiteral("abc"), QStringLiteral("1"), QStringLiteral("2")};
    StringGrid grid = gridOfKeys(keys);
    SortGrid(grid, 0, true, true);
    QCOMPARE(prompts.log.size(), 1);
    const QString box = prompts.log.first();
    QVERIFY2(box.startsWith(kSortErrorStart), qPrintable(box));
    QVERIFY2(box.endsWith(kSortErrorEnd), qPrintable(box));
    const QString message = box.mid(kSortErrorStart.size(), box.size() - kSortErrorStart.size() - kSortErrorEnd.size());
    QVERIFY2(message.contains(QStringLiteral("abc")) && !message.contains(u'\r'), qPrintable(message));
    // Left partly sorted, but no row lost or torn apart.
    QStringList left = column(grid, 0);
    left.sort();
    QCOMPARE(left, (QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("abc")}));
    QVERIFY(rowsKeptTogether(grid, keys));
}

void TestHelpers::sortGrid_numeric_usesUserDecimalSeparator() {
    QCOMPARE(runChild("de_DE.UTF-8", {QStringLiteral("--sort-numbers"), QStringLiteral("10"), QStringLiteral("1,5"),
                                      QStringLiteral("2"), QString()}),
             QStringLiteral("0|1,5|2|10"));
}

void TestHelpers::sortListByPinyin_data() {
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<bool>("ascending");
    QTest::addColumn<bool>("numeric");
    QTest::addColumn<QStringList>("sorted");
    const QStringList mixed{QStringLiteral("长城"), QStringLiteral("apple"), QStringLiteral("北京"),
                            QStringLiteral("Zoo"), QStringLiteral("9号")};
    QTest::newRow("北 before 长; digits, capitals, then small letters")
        << mixed << true << false
        << QStringList{QStringLiteral("9号"), QStringLiteral("北京"), QStringLiteral("长城"), QStringLiteral("Zoo"),
                       QStringLiteral("apple")};
    QTest::newRow("descending") << mixed << false << false
                                << QStringList{QStringLiteral("apple"), QStringLiteral("Zoo"), QStringLiteral("长城"),
                                               QStringLiteral("北京"), QStringLiteral("9号")};
    QTest::newRow("chinese initial against latin capital")
        << QStringList{QStringLiteral("Cz"), QStringLiteral("长江"), QStringLiteral("Ca")} << true << false
        << QStringList{QStringLiteral("长江"), QStringLiteral("Ca"), QStringLiteral("Cz")};
    QTest::newRow("numeric, empty item first")
        << QStringList{QStringLiteral("10"), QString(), QStringLiteral("9"), QStringLiteral("100")} << true << true
        << QStringList{QString(), QStringLiteral("9"), QStringLiteral("10"), QStringLiteral("100")};
    QTest::newRow("empty list") << QStringList() << true << false << QStringList();
}

void TestHelpers::sortListByPinyin() {
    QFETCH(QStringList, list);
    QFETCH(bool, ascending);
    QFETCH(bool, numeric);
    QFETCH(QStringList, sorted);
    ScriptedPrompts prompts;
    SortListByPinyin(list, ascending, numeric);
    QCOMPARE(list, sorted);
    QCOMPARE(prompts.log, QStringList());
}

void TestHelpers::pickSaveName_data() {
    QTest::addColumn<QString>("picked"); // "<dir>" stands for the test's folder
    QTest::addColumn<QList<bool>>("answers");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QStringList>("log");
    const QString save = QStringLiteral("save: 另存为");
    const QString ask = QStringLiteral("yesno: 文件已经存在，要覆盖它吗？");
    QTest::newRow("cancelled") << QString() << QList<bool>() << QString() << QStringList{save};
    QTest::newRow("blank pick is cancelled") << QStringLiteral("  ") << QList<bool>() << QString() << QStringList{save};
    QTest::newRow("new file, case kept") << QStringLiteral("<dir>/New Note.DOCX") << QList<bool>()
                                         << QStringLiteral("<dir>/New Note.DOCX") << QStringList{save};
    QTest::newRow("existing file, answered No")
        << QStringLiteral("<dir>/Old.docx") << QList<bool>{false} << QString() << QStringList{save, ask};
    QTest::newRow("existing file, answered Yes") << QStringLiteral("<dir>/Old.docx") << QList<bool>{true}
                                                 << QStringLiteral("<dir>/Old.docx") << QStringList{save, ask};
    QTest::newRow("trimmed before the existence test")
        << QStringLiteral(" <dir>/Old.docx\t") << QList<bool>{false} << QString() << QStringList{save, ask};
    QTest::newRow("trimmed result") << QStringLiteral("  <dir>/Old.docx  ") << QList<bool>{true}
                                    << QStringLiteral("<dir>/Old.docx") << QStringList{save, ask};
}

void TestHelpers::pickSaveName() {
    QFETCH(QString, picked);
    QFETCH(QList<bool>, answers);
    QFETCH(QString, result);
    QFETCH(QStringList, log);
    QTemporaryDir tmp;
    WriteBytes(tmp.filePath(QStringLiteral("Old.docx")), QByteArrayLiteral("x"));
    ScriptedPrompts prompts;
    prompts.saveFileAnswers.enqueue(picked.replace(QStringLiteral("<dir>"), tmp.path()));
    for (const bool answer : answers) {
        prompts.yesNoAnswers.enqueue(answer);
    }
    QCOMPARE(PickSaveName(tmp.path(), QStringLiteral("报告"), QStringLiteral("另存为"), QStringLiteral(".docx")),
             result.replace(QStringLiteral("<dir>"), tmp.path()));
    QCOMPARE(prompts.log, log);
    QVERIFY(prompts.yesNoAnswers.isEmpty());
}

void TestHelpers::pickSaveName_passesFilterAndExtension() {
    ArgumentPrompts prompts;
    PickSaveName(QStringLiteral("/home/u/"), QStringLiteral("报告"), QStringLiteral("另存为"), QStringLiteral(".docx"));
    QCOMPARE(prompts.saveArguments,
             (QStringList{QStringLiteral("/home/u/"), QStringLiteral("报告"), QStringLiteral("另存为"),
                          QStringLiteral("*.docx 文件|*.docx"), QStringLiteral(".docx")}));
    PickSaveName(QString(), QString(), QString(), QString());
    QCOMPARE(prompts.saveArguments.value(3), QStringLiteral("All(*.*)|*.*"));
}

void TestHelpers::pickFiles_data() {
    QTest::addColumn<bool>("single");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("picked");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("shown");
    const QStringList two{QStringLiteral("/d/a.doc"), QStringLiteral("/d/B.docx")};
    QTest::newRow("several joined with cr lf")
        << false << QStringLiteral("导入文档") << two << QStringLiteral("/d/a.doc\r\n/d/B.docx")
        << QStringLiteral("open: 导入文档");
    QTest::newRow("default title") << true << QString() << QStringList{QStringLiteral("/d/a.doc")}
                                   << QStringLiteral("/d/a.doc") << QStringLiteral("open: Open File");
    QTest::newRow("cancelled") << false << QString() << QStringList() << QString() << QStringLiteral("open: Open File");
    QTest::newRow("one of several") << false << QStringLiteral("t") << QStringList{QStringLiteral("/d/a.doc")}
                                    << QStringLiteral("/d/a.doc") << QStringLiteral("open: t");
}

void TestHelpers::pickFiles() {
    QFETCH(bool, single);
    QFETCH(QString, title);
    QFETCH(QStringList, picked);
    QFETCH(QString, result);
    QFETCH(QString, shown);
    ScriptedPrompts prompts;
    prompts.openFileAnswers.enqueue(picked);
    QCOMPARE(PickFiles(single, title, QStringLiteral("/d"), MakeFileFilter(QStringLiteral(".docx"))), result);
    QCOMPARE(prompts.log, QStringList{shown});
}

int main(int argc, char* argv[]) {
    if (argc >= 2) {
        const QString mode = QString::fromLocal8Bit(argv[1]);
        if (mode == QLatin1String("--size-to-text") || mode == QLatin1String("--sort-numbers")) {
            QStringList args;
            for (int i = 2; i < argc; ++i) {
                args.append(QString::fromLocal8Bit(argv[i]));
            }
            return runChildMode(mode, args);
        }
    }
    // Qt reads the system locale and the time zone from the environment when first asked, so they are fixed
    // here, before anything asks: a C locale for the decimal point, and a zone eight hours east of UTC without
    // summer time, so that local time differs from UTC on every date.
    qputenv("LC_ALL", "C");
    qputenv("LANG", "C");
    qputenv("TZ", "CST-8");
    QCoreApplication app(argc, argv);
    TestHelpers tests;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tests, argc, argv);
}

#include "tst_helpers.moc"
