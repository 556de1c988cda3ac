// The text index against the scan it stands in for: on random libraries and keywords (Chinese, English in mixed
// case, one character, spaces, all four modes) the answer with the index equals the answer of reading every
// cache file; so it does with an index that is stale, damaged or gone, and after a cache write or move killed at
// any of its system calls.

#include "common/appfolder.h"
#include "common/compressedtext.h"
#include "common/errors.h"
#include "filesizelimit.h"
#include "store/textcache.h"
#include "store/textindex.h"
#include "store/textindexdb.h"
#include "store/textindexterms.h"
#include "tempappdata.h"
#include "workbench/core/searchtexts.h"
#include "workbench/core/searchwalk.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTest>

#include <memory>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>

using namespace velmora;
using namespace velmora::test;

namespace {

// Few distinct characters, so that the pairs of a longer keyword often occur apart and the index proposes
// documents that do not hold it. Σ σ ς fold alike; the full-width letters fold too.
const QString kAlphabet = QStringLiteral("历史中国研究计划会议ΣσςAaBbＡａ \r\n-");

QString randomText(QRandomGenerator& rng, int length) {
    QString text;
    for (int i = 0; i < length; ++i) {
        text += kAlphabet.at(rng.bounded(int(kAlphabet.size())));
    }
    return text;
}

// A keyword: a piece of some text (so that some documents hold it) or a random one, of one to five characters.
QString randomKeyword(QRandomGenerator& rng, const QStringList& texts) {
    const int length = 1 + rng.bounded(5);
    if (rng.bounded(2) == 0) {
        const QString& text = texts.at(rng.bounded(int(texts.size())));
        if (text.size() > length) {
            return text.mid(rng.bounded(int(text.size() - length)), length);
        }
    }
    return randomText(rng, length);
}

struct Library {
    QStringList paths;
    QStringList texts;
};

Library writeLibrary(quint32 seed, int documents) {
    QRandomGenerator rng(seed);
    Library lib;
    for (int d = 0; d < documents; ++d) {
        lib.paths.append(QStringLiteral("/docs/%1/文档%2.docx").arg(rng.bounded(3)).arg(d));
        lib.texts.append(randomText(rng, rng.bounded(4) == 0 ? 3 : 40 + rng.bounded(200)));
        WriteTextCache(lib.paths.last(), lib.texts.last());
    }
    return lib;
}

// Which documents the text search finds, in order: with the index when there is one, by the scan otherwise.
QList<bool> answer(const Library& lib, const QString& keywords, SearchMode mode) {
    const SearchKeywords prepared(keywords, mode);
    std::vector<TextCandidate> candidates;
    for (int d = 0; d < lib.paths.size(); ++d) {
        candidates.push_back(TextCandidate{d, d, lib.paths.at(d), {}, DocumentMatch(&prepared)});
    }
    SearchTexts texts(0);
    const std::atomic<bool> cancelled{false};
    MatchCachedTexts(candidates, texts, cancelled, 2);
    QList<bool> found;
    for (const TextCandidate& candidate : candidates) {
        found.append(candidate.match.matched());
    }
    return found;
}

QList<bool> scanAnswer(const Library& lib, const QString& keywords, SearchMode mode) {
    const QString index = TextIndexFile();
    const QString aside = index + QStringLiteral(".aside");
    QFile::rename(index, aside);
    QFile::rename(index + QStringLiteral("-wal"), aside + QStringLiteral("-wal"));
    const QList<bool> found = answer(lib, keywords, mode);
    QFile::rename(aside, index);
    QFile::rename(aside + QStringLiteral("-wal"), index + QStringLiteral("-wal"));
    return found;
}

// Many searches over one library, each compared with the scan.
void compareQueries(const Library& lib, quint32 seed, int queries) {
    QRandomGenerator rng(seed);
    for (int q = 0; q < queries; ++q) {
        const SearchMode mode = SearchMode(rng.bounded(4));
        QString keywords = randomKeyword(rng, lib.texts);
        for (int more = rng.bounded(3); more > 0; --more) {
            keywords += u' ' + randomKeyword(rng, lib.texts);
        }
        const QList<bool> indexed = answer(lib, keywords, mode);
        QVERIFY2(indexed == scanAnswer(lib, keywords, mode),
                 qPrintable(QStringLiteral("mode %1, keywords \"%2\" %3")
                                .arg(int(mode))
                                .arg(keywords)
                                .arg(QString::fromLatin1(keywords.toUtf8().toHex(' ')))));
    }
}

// A cache file replaced the way a writer that cannot reach the index replaces it.
void replaceBehindIndex(const QString& path, const QString& text) {
    SaveCompressedText(text, TextCachePath(path));
}

} // namespace

class TestTextIndex : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void terms_arePairsOfLettersOrUnitsAlone_data() {
        QTest::addColumn<QString>("folded");
        QTest::addColumn<QList<QByteArray>>("terms");
        // Each unit is three characters of six bits from '0': a is 0x61 "01Q", b "01R", 1 "00a", - "00]",
        // 历 U+5386 "5>6", 史 U+53F2 "5?b", 。U+3002 "302". A unit alone ends in '~'.
        QTest::newRow("one letter") << QStringLiteral("a") << QList<QByteArray>{"01Q~"};
        QTest::newRow("punctuation between, repeated") << QStringLiteral("a-a") << QList<QByteArray>{"01Q~", "00]~"};
        QTest::newRow("latin triple") << QStringLiteral("ab1")
                                      << QList<QByteArray>{"01Q01R", "01Q01R00a", "01R00a", "00a~"};
        QTest::newRow("chinese sentence") << QStringLiteral("历史。") << QList<QByteArray>{"5>65?b", "5?b~", "302~"};
    }
    void terms_arePairsOfLettersOrUnitsAlone() {
        QFETCH(QString, folded);
        QFETCH(QList<QByteArray>, terms);
        const std::vector<QByteArray> made = TextTermsOf(folded);
        QCOMPARE(QList<QByteArray>(made.cbegin(), made.cend()), terms);
    }

    void queries_data() {
        QTest::addColumn<QString>("word");
        QTest::addColumn<QByteArray>("match");
        QTest::addColumn<bool>("exact");
        // A letter alone may be followed by anything: every term that begins with it.
        QTest::newRow("one han") << QStringLiteral("历") << QByteArray("\"5>6\" *") << true;
        QTest::newRow("one mark") << QStringLiteral("。") << QByteArray("\"302~\"") << true;
        QTest::newRow("two han") << QStringLiteral("历史") << QByteArray("\"5>65?b\"") << true;
        QTest::newRow("han, mark") << QStringLiteral("史。") << QByteArray("\"302~\" \"5?b~\"") << false;
        QTest::newRow("three latin") << QStringLiteral("ab1") << QByteArray("\"01Q01R\" \"01R00a\" \"01Q01R00a\"")
                                     << true;
        QTest::newRow("mark, letter") << QStringLiteral("-a") << QByteArray("\"00]~\"") << false;
    }
    void queries() {
        QFETCH(QString, word);
        QFETCH(QByteArray, match);
        QFETCH(bool, exact);
        const TermQuery query = TermQueryFor(word);
        QCOMPARE(query.match, match);
        QCOMPARE(query.exact, exact);
    }

    void indexAnswer_equalsScan_data() {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<QString>("state");
        for (const char* state :
             {"built", "writers only", "stale", "damaged", "missing", "file changed behind the cache"}) {
            for (quint32 seed : {1u, 2u, 3u}) {
                QTest::addRow("%s, seed %u", state, seed) << seed << QString::fromLatin1(state);
            }
        }
    }
    void indexAnswer_equalsScan() {
        QFETCH(quint32, seed);
        QFETCH(QString, state);
        TempAppData appdata;
        Library lib = writeLibrary(seed, 60);
        if (state != QLatin1String("writers only")) {
            BuildTextIndex(false);
        }
        if (state == QLatin1String("stale")) {
            // Replaced, emptied and removed behind the index; one document rewritten through the writer after.
            replaceBehindIndex(lib.paths.at(0), QStringLiteral("历史研究"));
            lib.texts[0] = QStringLiteral("历史研究");
            replaceBehindIndex(lib.paths.at(1), QString());
            QFile::remove(TextCachePath(lib.paths.at(2)));
            WriteTextCache(lib.paths.at(3), QStringLiteral("Plan-B 会议"));
        } else if (state == QLatin1String("damaged")) {
            QFile index(TextIndexFile());
            QVERIFY(index.open(QIODevice::ReadWrite));
            index.seek(4096);
            index.write(QByteArray(8192, '\x5A'));
        } else if (state == QLatin1String("missing")) {
            QVERIFY(QFile::remove(TextIndexFile()));
        } else if (state == QLatin1String("file changed behind the cache")) {
            // Four documents with files; two are then written by another program. A cache that would find its
            // document by the old text finds nothing: the document is to be read again.
            QVERIFY(QDir().mkpath(AppDataFolder() + QStringLiteral("docs")));
            for (int d = 0; d < 4; ++d) {
                lib.paths[d] = AppDataFolder() + QStringLiteral("docs/文档%1.docx").arg(d);
                lib.texts[d] = QStringLiteral("计划会议%1").arg(d);
                WriteBytes(lib.paths.at(d), "as read");
                WriteTextCache(lib.paths.at(d), lib.texts.at(d));
            }
            QTest::qWait(20);
            for (int d = 0; d < 2; ++d) {
                WriteBytes(lib.paths.at(d), "saved since by another program");
            }
            for (int d = 0; d < 4; ++d) {
                QCOMPARE(answer(lib, lib.texts.at(d), SearchMode::Whole).at(d), d >= 2);
            }
        }
        compareQueries(lib, seed * 7, 60);
    }

    // The index decides most documents without their texts: one that found nothing to decide would pass the
    // comparison above by scanning everything.
    void builtIndex_decidesWithoutTexts() {
        TempAppData appdata;
        const Library lib = writeLibrary(9, 40);
        BuildTextIndex(false);
        const SearchKeywords keywords(QStringLiteral("历史"), SearchMode::Whole);
        std::vector<TextCandidate> candidates;
        for (int d = 0; d < lib.paths.size(); ++d) {
            candidates.push_back(TextCandidate{d, d, lib.paths.at(d), {}, DocumentMatch(&keywords)});
        }
        // Every document with text is decided; the short ones may have none and are left to the scan.
        QVERIFY(DecideByTextIndex(candidates) >= 30);
        // A cache file replaced behind the index is not vouched for.
        replaceBehindIndex(lib.paths.at(5), QStringLiteral("历史"));
        for (TextCandidate& candidate : candidates) {
            candidate.text = TextCandidate::Text::Waiting;
            candidate.match = DocumentMatch(&keywords);
        }
        DecideByTextIndex(candidates);
        QCOMPARE(candidates.at(5).text, TextCandidate::Text::Waiting);
    }

    void check_reportsDisagreement() {
        TempAppData appdata;
        const Library lib = writeLibrary(4, 6);
        BuildTextIndex(false);
        TextIndexState state = CheckTextIndex();
        QVERIFY(state.readable && state.complete);
        QCOMPARE(state.indexedFiles, 6);
        QVERIFY(state.staleFiles.isEmpty() && state.unindexedFiles.isEmpty());
        replaceBehindIndex(lib.paths.at(0), QStringLiteral("新的"));
        SaveCompressedText(QStringLiteral("外来"), TextCacheFolder() + QStringLiteral("外来~00000000.dat_"));
        // Rewritten in place, which the search cannot see (the folder's stamp stays): the check does.
        QFile inPlace(TextCachePath(lib.paths.at(1)));
        QVERIFY(inPlace.open(QIODevice::WriteOnly));
        inPlace.write(CompressText(QStringLiteral("中国历史研究 in place")));
        inPlace.close();
        state = CheckTextIndex();
        QStringList stale{TextCachePath(lib.paths.at(0)).mid(TextCacheFolder().size()),
                          TextCachePath(lib.paths.at(1)).mid(TextCacheFolder().size())};
        stale.sort();
        QCOMPARE(state.staleFiles, stale);
        QCOMPARE(state.unindexedFiles, QStringList{QStringLiteral("外来~00000000.dat_")});
        QCOMPARE(BuildTextIndex(false), 3);
        state = CheckTextIndex();
        QVERIFY(state.staleFiles.isEmpty() && state.unindexedFiles.isEmpty());
        // No index at all in its place: named as such (a FIFO is never opened, it would block), and a build makes
        // the index anew.
        for (const QString& what : {QStringLiteral("folder"), QStringLiteral("fifo"), QStringLiteral("garbage")}) {
            for (const char* tail : {"", "-wal", "-shm"}) {
                QFile::remove(TextIndexFile() + QLatin1String(tail));
            }
            if (what == QLatin1String("folder")) {
                QVERIFY(QDir().mkpath(TextIndexFile() + QStringLiteral("/inside")));
            } else if (what == QLatin1String("fifo")) {
                QCOMPARE(::mkfifo(QFile::encodeName(TextIndexFile()).constData(), 0600), 0);
            } else {
                WriteBytes(TextIndexFile(), QByteArray(4096, 'x'));
            }
            state = CheckTextIndex();
            QVERIFY2(state.present && !state.readable && !state.problem.isEmpty(), qPrintable(what));
            QCOMPARE(BuildTextIndex(false), 7);
            state = CheckTextIndex();
            QVERIFY2(state.readable && state.complete && state.staleFiles.isEmpty(), qPrintable(what));
        }
    }

    // A full disk: the index cannot be told of the coming change, so it goes, and the cache is written all the
    // same. The folder's time is put back, as if the change fell in the tick of the stamp the index recorded.
    void fullDisk_indexThatCannotBeToldGoes() {
        TempAppData appdata;
        Library lib = writeLibrary(8, 20);
        BuildTextIndex(false);
        struct stat folder {};
        QVERIFY(::stat(QFile::encodeName(TextCacheFolder()).constData(), &folder) == 0);
        const timespec folderTimes[2] = {folder.st_atim, folder.st_mtim};
        {
            // A search under way keeps the index's files open, so that the writer opens it and fails only when
            // it marks the file.
            const TextIndexReader search;
            QVERIFY(search.usable());
            const FileSizeLimit full(2048);
            WriteTextCache(lib.paths.at(0), QStringLiteral("计划会议 Plan"));
        }
        QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(TextCacheFolder()).constData(), folderTimes, 0) == 0);
        lib.texts[0] = ReadTextCache(lib.paths.at(0));
        QVERIFY(lib.texts.at(0).startsWith(QStringLiteral("计划会议 Plan")));
        QVERIFY(!QFile::exists(TextIndexFile()));
        compareQueries(lib, 88, 30);
    }

    // A build and a cache writer together: the build reads and merges in short steps, so the writer (closing a
    // tab) never waits more than half a second; and a writer that found the index busy for all its wait keeps it,
    // the search still answering as the scan does.
    void buildAndWriter_writerWaitsLittle_busyIndexKept() {
        TempAppData appdata;
        QRandomGenerator rng(12);
        QDir().mkpath(TextCacheFolder());
        // Written behind the index's back: the build has them all to read and merge.
        for (int d = 0; d < 4000; ++d) {
            SaveCompressedText(randomText(rng, 300), TextCachePath(QStringLiteral("/docs/%1.docx").arg(d)));
        }
        std::atomic<bool> building{true};
        QString buildError;
        std::jthread build([&building, &buildError] {
            try {
                BuildTextIndex(true);
            } catch (const VelmoraError& error) {
                buildError = error.message();
            }
            building = false;
        });
        qint64 longest = 0;
        for (int w = 0; building; ++w) {
            QElapsedTimer wait;
            wait.start();
            WriteTextCache(QStringLiteral("/docs/w%1.docx").arg(w % 5), randomText(rng, 100));
            longest = std::max(longest, wait.elapsed());
            QTest::qWait(5);
        }
        build.join();
        QCOMPARE(buildError, QString());
        QVERIFY2(longest < 500, qPrintable(QStringLiteral("a writer waited %1 ms").arg(longest)));
        QVERIFY(CheckTextIndex().readable && QFile::exists(TextIndexFile()));

        Library lib = writeLibrary(13, 30);
        BuildTextIndex(false);
        {
            std::jthread holder([] {
                TextIndexUpdate busy;
                std::this_thread::sleep_for(std::chrono::milliseconds(5500));
            });
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            lib.texts[0] = QStringLiteral("计划会议 Plan");
            WriteTextCache(lib.paths.at(0), lib.texts.at(0));
        }
        QVERIFY(QFile::exists(TextIndexFile()));
        compareQueries(lib, 99, 30);
    }

    // A build stopped half-way (the window closing) keeps what it read and is finished by the next.
    void stoppedBuild_keepsItsWorkForTheNext() {
        TempAppData appdata;
        const Library lib = writeLibrary(6, 200);
        QFile::remove(TextIndexFile());
        QVERIFY(TextIndexNeedsBuild());
        std::atomic<bool> stop{false};
        const int read = BuildTextIndex(
            false, [&stop](int, int) { stop = true; }, &stop);
        QVERIFY(read > 0 && read < 200);
        TextIndexState state = CheckTextIndex();
        QCOMPARE(state.indexedFiles, read);
        QVERIFY(!state.complete && TextIndexNeedsBuild());
        compareQueries(lib, 66, 20);
        QCOMPARE(BuildTextIndex(false), 200 - read);
        state = CheckTextIndex();
        QVERIFY(state.complete && state.unindexedFiles.isEmpty() && !TextIndexNeedsBuild());
    }

    void moves_keepIndexCurrent() {
        TempAppData appdata;
        Library lib = writeLibrary(5, 20);
        BuildTextIndex(false);
        const QString moved = QStringLiteral("/elsewhere/新名.docx");
        QVERIFY(MoveTextCache(lib.paths.at(0), moved));
        MoveTextCacheOver(lib.paths.at(1), lib.paths.at(2));
        lib.paths[0] = moved;
        lib.texts[2] = lib.texts.at(1);
        lib.paths.removeAt(1);
        lib.texts.removeAt(1);
        // A save-as over a file takes away its cache.
        RemoveTextCache(lib.paths.at(3));
        lib.texts[3].clear();
        const TextIndexState state = CheckTextIndex();
        QVERIFY(state.staleFiles.isEmpty() && state.unindexedFiles.isEmpty());
        // Each writer recorded the folder as it left it: the search still takes every row on trust.
        QVERIFY(state.complete && !TextIndexNeedsBuild());
        compareQueries(lib, 55, 60);
    }

    // A change of the index is kept only when it was committed with nothing in it failed; every other way out
    // takes it back, and the connection goes on. (The kills and the full disk above never make one statement
    // fail while the rest of its transaction could be committed.)
    void transaction_keepsOnlyWholeChanges_data() {
        QTest::addColumn<QString>("way");
        QTest::addColumn<bool>("kept");
        QTest::newRow("committed") << QStringLiteral("commit") << true;
        QTest::newRow("a statement failed") << QStringLiteral("fail") << false;
        QTest::newRow("left without commit") << QStringLiteral("return") << false;
        QTest::newRow("left by an exception") << QStringLiteral("throw") << false;
    }
    void transaction_keepsOnlyWholeChanges() {
        QFETCH(QString, way);
        QFETCH(bool, kept);
        TempAppData appdata;
        const std::unique_ptr<textindex::Connection> c = textindex::open(true);
        QVERIFY(c);
        try {
            textindex::Transaction change(*c, textindex::Transaction::Kind::Write);
            QVERIFY(change.ok());
            c->setMeta("probe", QStringLiteral("1"));
            if (way == QLatin1String("fail")) {
                QVERIFY(!c->exec("INSERT INTO no_such_table VALUES(1)"));
            } else if (way == QLatin1String("throw")) {
                throw std::runtime_error("left");
            }
            if (way != QLatin1String("return")) {
                QCOMPARE(change.commit(), kept);
            }
        } catch (const std::runtime_error&) {
        }
        QVERIFY(!c->failed());
        QCOMPARE(c->meta("probe") == QLatin1String("1"), kept);
    }

    void killedWrite_answersLikeTheScan_data() {
        QTest::addColumn<QString>("driverMode");
        QTest::addColumn<QString>("call");
        // The calls each makes: the cache file's own write and rename, then the index's.
        for (const char* call : {"write", "pwrite64", "fdatasync", "fsync", "rename", "unlink"}) {
            QTest::addRow("write at %s", call) << QStringLiteral("write") << QString::fromLatin1(call);
        }
        for (const char* call : {"pwrite64", "fdatasync", "renameat2", "unlink"}) {
            QTest::addRow("move at %s", call) << QStringLiteral("move") << QString::fromLatin1(call);
        }
    }
    void killedWrite_answersLikeTheScan() {
        QFETCH(QString, driverMode);
        QFETCH(QString, call);
        const QString strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
        if (strace.isEmpty()) {
            QSKIP("strace is not installed (scripts/setup.sh installs it)");
        }
        const QString driver = QCoreApplication::applicationDirPath() + QStringLiteral("/crashdriver");
        int kills = 0;
        for (int when = 1; when < 400; ++when) {
            TempAppData appdata;
            Library lib = writeLibrary(11, 8);
            BuildTextIndex(false);
            struct stat folder {};
            QVERIFY(::stat(QFile::encodeName(TextCacheFolder()).constData(), &folder) == 0);
            const timespec folderTimes[2] = {folder.st_atim, folder.st_mtim};
            // The driver gives document 0 the text of document 7, or moves document 0's cache over document 1's.
            const QStringList args =
                driverMode == QLatin1String("write")
                    ? QStringList{QStringLiteral("cachewrite"), AppDataFolder(), lib.paths.at(0), lib.texts.at(7)}
                    : QStringList{QStringLiteral("cachemove"), AppDataFolder(), lib.paths.at(0), lib.paths.at(1)};
            QProcess process;
            process.start(strace,
                          QStringList{"-f", "-o", "/dev/null", "-e",
                                      QStringLiteral("inject=%1:signal=KILL:when=%2").arg(call).arg(when), driver} +
                              args);
            QVERIFY(process.waitForFinished(60000));
            const bool killed = process.exitStatus() == QProcess::CrashExit || process.exitCode() == 128 + 9;
            // As if the change fell in the same tick of the file system's clock as the state the index recorded:
            // the folder's stamp no longer tells, and only the writer's mark can.
            QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(TextCacheFolder()).constData(), folderTimes, 0) == 0);
            // Whatever the cache files hold now is what the scan answers.
            for (int d = 0; d < lib.paths.size(); ++d) {
                lib.texts[d] = ReadTextCache(lib.paths.at(d));
            }
            compareQueries(lib, quint32(when), 12);
            // A build settles what the killed writer left: its mark no longer makes a file stale.
            BuildTextIndex(false);
            QVERIFY2(CheckTextIndex().staleFiles.isEmpty(), qPrintable(QStringLiteral("%1 #%2").arg(call).arg(when)));
            if (!killed) {
                break;
            }
            ++kills;
        }
        if (kills == 0) {
            QSKIP("the driver made no such call");
        }
    }
};

QTEST_GUILESS_MAIN(TestTextIndex)
#include "tst_textindex.moc"
