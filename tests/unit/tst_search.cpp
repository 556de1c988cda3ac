#include "dbtoolrun.h"
#include "libraryfiles.h"
#include "store/textcache.h"
#include "store/textindex.h"
#include "store/wordmgr.h"
#include "tempappdata.h"
#include "workbench/core/searchmatch.h"
#include "workbench/core/searchtexts.h"
#include "workbench/core/searchwalk.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <memory>

#include <zlib.h>

using namespace velmora;
using namespace velmora::test;

Q_DECLARE_METATYPE(velmora::SearchMode)

namespace {

constexpr auto Whole = SearchMode::Whole;
constexpr auto Any = SearchMode::Any;
constexpr auto All = SearchMode::All;
constexpr auto Not = SearchMode::FirstNotOthers;

// A cache file as it lies on disk: the given plain bytes as one zlib stream.
void writeCache(const QString& document, const QByteArray& plain) {
    uLongf size = compressBound(uLong(plain.size()));
    QByteArray packed(qsizetype(size), '\0');
    compress2(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(plain.constData()),
              uLong(plain.size()), 1);
    packed.truncate(qsizetype(size));
    QDir().mkpath(TextCacheFolder());
    WriteBytes(TextCachePath(document), packed);
}

// 会议 and 记录 in code page 936, as the cache stores them.
const QByteArray kMeetingGbk("\xBB\xE1\xD2\xE9", 4);
const QByteArray kRecordGbk("\xBC\xC7\xC2\xBC", 4);

} // namespace

class TestSearch : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempAppData> m_appData;

    // Six records: plan-final (tags 工作, GBK text "会议 Plan"), plan-old (deleted), notes.doc (tag plan, UTF-8 text),
    // empty.docx (an empty text), broken.docx (a cache file that does not inflate), and plan-final once more
    // under its path in capitals.
    void writeLibrary() {
        WriteLibrary({{.name = "plan-final.docx", .tags = "工作", .onDisk = false},
                      {.name = "plan-old.docx", .onDisk = false, .deleted = true},
                      {.name = "notes.doc", .tags = "plan", .onDisk = false},
                      {.name = "empty.docx", .onDisk = false},
                      {.name = "broken.docx", .onDisk = false},
                      {.name = "PLAN-FINAL.DOCX", .onDisk = false}});
        writeCache(DocPath("plan-final.docx"), kMeetingGbk + " Plan\r\n");
        writeCache(DocPath("plan-old.docx"), kMeetingGbk);
        writeCache(DocPath("notes.doc"), "\xEF\xBB\xBF\xCE\xA9mega " + QStringLiteral("会议").toUtf8() + "\r\n");
        writeCache(DocPath("empty.docx"), QByteArray());
        WriteBytes(TextCachePath(DocPath("broken.docx")), "not a zlib stream");
    }

private Q_SLOTS:
    void init() { m_appData = std::make_unique<TempAppData>(); }
    void cleanup() { m_appData.reset(); }

    void matchKeywords_data() {
        QTest::addColumn<QString>("keywords");
        QTest::addColumn<QString>("text");
        QTest::addColumn<SearchMode>("mode");
        QTest::addColumn<bool>("found");
        QTest::newRow("whole: spaces and case") << "plan b"
                                                << "The PLAN B file" << Whole << true;
        QTest::newRow("whole: the first word alone is no match") << "plan b"
                                                                 << "plan-b" << Whole << false;
        QTest::newRow("whole: leading space kept") << " plan"
                                                   << "xplan" << Whole << false;
        QTest::newRow("or: one of them") << "plan old"
                                         << "old notes" << Any << true;
        QTest::newRow("or: none") << "plan old"
                                  << "notes" << Any << false;
        QTest::newRow("and: both") << "plan old"
                                   << "plan-old" << All << true;
        QTest::newRow("and: one missing") << "plan old"
                                          << "plan-final" << All << false;
        QTest::newRow("not: first without the other") << "plan old"
                                                      << "plan-final" << Not << true;
        QTest::newRow("not: the other present") << "plan old"
                                                << "plan-old" << Not << false;
        QTest::newRow("not: first missing") << "plan old"
                                            << "final" << Not << false;
        QTest::newRow("empty keywords dropped: leading") << " plan"
                                                         << "plan" << All << true;
        QTest::newRow("empty keywords dropped: double") << "plan  old"
                                                        << "plan-old" << All << true;
        QTest::newRow("empty keywords never exclude") << "plan  "
                                                      << "plan" << Not << true;
        QTest::newRow("only spaces find nothing") << "   "
                                                  << "a b c" << Any << false;
        QTest::newRow("chinese and") << "会议 记录"
                                     << "二〇二六年会议记录" << All << true;
        QTest::newRow("chinese not") << "会议 记录"
                                     << "会议纪要" << Not << true;
        QTest::newRow("chinese single is containment") << "会议"
                                                       << "会" << All << false;
        QTest::newRow("latin case") << "ALPHA"
                                    << "alpha beta" << Any << true;
        QTest::newRow("greek case") << "ΣΟΦΊΑ"
                                    << "σοφία" << All << true;
        QTest::newRow("full-width case") << "ＡＢＣ"
                                         << "ａｂｃ" << Whole << true;
    }
    void matchKeywords() {
        QFETCH(QString, keywords);
        QFETCH(QString, text);
        QFETCH(SearchMode, mode);
        QFETCH(bool, found);
        QCOMPARE(MatchKeywords(keywords, text, mode), found);
    }

    void walk_data() {
        QTest::addColumn<bool>("currentList");
        QTest::addColumn<QString>("keywords");
        QTest::addColumn<SearchMode>("mode");
        QTest::addColumn<unsigned>("fields");
        QTest::addColumn<QStringList>("found");
        QTest::addColumn<QStringList>("uncached");
        const unsigned nameTags = SearchFileName | SearchTags;
        // Deleted records and the stale, negative and repeated positions of the list are never results.
        QTest::newRow("all: name and tags, one path once")
            << false << "plan" << Any << nameTags << QStringList{"0|plan-final.docx", "70|notes.doc"} << QStringList();
        QTest::newRow("list: its order") << true << "plan" << Any << nameTags
                                         << QStringList{"70|notes.doc", "0|plan-final.docx"} << QStringList();
        QTest::newRow("all: text in GBK and UTF-8")
            << false << "会议" << All << unsigned(SearchText) << QStringList{"0|plan-final.docx", "70|notes.doc"}
            << QStringList{"105", "140", "175"};
        QTest::newRow("all: text case") << false << "ωMEGA" << All << unsigned(SearchText)
                                        << QStringList{"70|notes.doc"} << QStringList{"105", "140", "175"};
        QTest::newRow("list: a name match needs no text")
            << true << "final 会议" << Any << unsigned(SearchFileName | SearchText)
            << QStringList{"70|notes.doc", "0|plan-final.docx"} << QStringList{"140", "105"};
    }
    void walk() {
        QFETCH(bool, currentList);
        QFETCH(QString, keywords);
        QFETCH(SearchMode, mode);
        QFETCH(unsigned, fields);
        QFETCH(QStringList, found);
        QFETCH(QStringList, uncached);
        writeLibrary();
        const TWordMgr store(m_appData->file(QStringLiteral("worddata.data")), OpenMode::ReadOnly);
        const std::vector<qint64> candidates =
            currentList ? std::vector<qint64>{140, 999, -35, 70, 35, 105, 0, 175, 70} : AllRecordPositions(store);
        SearchWalk walk(SearchRequest{keywords, mode, fields}, candidates);
        while (walk.step(store, 2)) {
        }
        SearchTexts texts;
        MatchCachedTexts(walk.waiting(), texts, std::atomic<bool>{false}, 2);
        QStringList expected;
        for (const QString& line : found) {
            expected.append(line.section(u'|', 0, 0) + u'|' + DocPath(line.section(u'|', 1).toUtf8().constData()));
        }
        QCOMPARE(walk.result(), expected.isEmpty() ? QString() : expected.join(QStringLiteral("\r\n")) + "\r\n");
        QStringList unread;
        for (const TextCandidate& candidate : walk.waiting()) {
            if (candidate.text == TextCandidate::Text::Uncached || candidate.text == TextCandidate::Text::Damaged) {
                unread.append(QString::number(candidate.position));
            }
        }
        QCOMPARE(unread, uncached);
    }

    // Latin keywords also find names and tags by their pinyin initials, only when asked, in every mode.
    void pinyinInitials_data() {
        QTest::addColumn<QString>("keywords");
        QTest::addColumn<SearchMode>("mode");
        QTest::addColumn<bool>("pinyin");
        QTest::addColumn<QList<qint64>>("found");
        QTest::newRow("off: letters only") << "zgls" << Whole << false << QList<qint64>{70};
        QTest::newRow("on: initials of the name") << "zgls" << Whole << true << QList<qint64>{0, 70};
        QTest::newRow("case ignored") << "ZgLs" << Whole << true << QList<qint64>{0, 70};
        QTest::newRow("initials of the tags") << "ds" << Any << true << QList<qint64>{0};
        QTest::newRow("and: both in the name") << "ls bj" << All << true << QList<qint64>{0};
        QTest::newRow("and: one field each is no match") << "hy gz" << All << true << QList<qint64>{};
        QTest::newRow("or") << "hy gz" << Any << true << QList<qint64>{35};
        QTest::newRow("not: other field excludes") << "zg hy" << Not << true << QList<qint64>{0, 70};
        QTest::newRow("latin beside chinese") << "vbj" << Whole << true << QList<qint64>{140};
        QTest::newRow("a digit makes it no initials keyword") << "zg2" << Any << true << QList<qint64>{};
        QTest::newRow("whole text with a space") << "zg ls" << Whole << true << QList<qint64>{};
        QTest::newRow("chinese keyword as before") << "历史" << Any << true << QList<qint64>{0};
        QTest::newRow("deleted records stay out") << "ls" << Any << true << QList<qint64>{0, 70};
    }
    void pinyinInitials() {
        QFETCH(QString, keywords);
        QFETCH(SearchMode, mode);
        QFETCH(bool, pinyin);
        QFETCH(QList<qint64>, found);
        {
            TWordMgr store(m_appData->file(QStringLiteral("worddata.data")));
            store.ImportAWord(DocPath(QStringLiteral("中国历史笔记.docx")), QStringLiteral("读书"), QString(), 0);
            store.ImportAWord(DocPath(QStringLiteral("会议记录.docx")), QStringLiteral("工作 zg"), QString(), 0);
            store.ImportAWord(DocPath(QStringLiteral("zgls-notes.docx")), QString(), QString(), 0);
            store.SetRecDeleted(store.ImportAWord(DocPath(QStringLiteral("历史.doc")), QString(), QString(), 0), false);
            store.ImportAWord(DocPath(QStringLiteral("v笔记.docx")), QString(), QString(), 0);
            store.SaveRecDataFiles(false);
        }
        const TWordMgr store(m_appData->file(QStringLiteral("worddata.data")), OpenMode::ReadOnly);
        SearchRequest request{keywords, mode, SearchFileName | SearchTags};
        request.pinyin = pinyin;
        SearchWalk walk(request, AllRecordPositions(store));
        while (walk.step(store, 3)) {
        }
        QList<qint64> positions;
        for (const QString& line : walk.result().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
            positions.append(line.section(u'|', 0, 0).toLongLong());
        }
        QCOMPARE(positions, found);
    }

    void keptTexts_followTheirFilesAndStayInBudget() {
        const QString a = DocPath("a.docx");
        const QString b = DocPath("b.docx");
        SearchTexts texts(1000);
        writeCache(a, QByteArray(300, 'a'));
        QCOMPARE(*texts.cached(a).folded, QString(300, u'a'));
        QCOMPARE(texts.keptTexts(), 1);
        // Same size, new file: the text read is the new one.
        writeCache(a, QByteArray(300, 'B'));
        QCOMPARE(*texts.cached(a).folded, QString(300, u'b'));
        writeCache(b, QByteArray(300, 'c'));
        QCOMPARE(texts.cached(b).status, SearchTexts::Status::Found);
        QVERIFY2(texts.keptBytes() <= 1000, qPrintable(QString::number(texts.keptBytes())));
        QCOMPARE(texts.keptTexts(), 1);
        QFile::remove(TextCachePath(b));
        QCOMPARE(texts.cached(b).status, SearchTexts::Status::Missing);
        WriteBytes(TextCachePath(a), QByteArray("\x78\x01\x4b", 3)); // a stream cut short
        QCOMPARE(texts.cached(a).status, SearchTexts::Status::Damaged);
    }

    void velmoradbSearch_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("out");
        QTest::addColumn<QString>("err");
        QTest::addColumn<bool>("indexed");
        // In record order, once each, after the list.
        const QString notIndexed = "velmoradb: not indexed: %1\nvelmoradb: not indexed: %3: the cache file is damaged\n"
                                   "velmoradb: not indexed: %2\n";
        QTest::newRow("default: and over all fields")
            << QStringList{"会议"} << 0 << QStringList{"0|plan-final.docx", "70|notes.doc"} << notIndexed << false;
        QTest::newRow("or in names") << QStringList{"--mode", "or", "--in", "name", "notes", "final"} << 0
                                     << QStringList{"0|plan-final.docx", "70|notes.doc"} << QString() << false;
        // The capitals' record holds the same path, but it is left out only when that path is listed.
        QTest::newRow("not: tags count") << QStringList{"--mode", "not", "--in", "name,tags", "plan", "工作"} << 0
                                         << QStringList{"70|notes.doc", "175|PLAN-FINAL.DOCX"} << QString() << false;
        QTest::newRow("whole") << QStringList{"--mode", "whole", "--in", "tags", "工作"} << 0
                               << QStringList{"0|plan-final.docx"} << QString() << false;
        QTest::newRow("pinyin initials of tags") << QStringList{"--pinyin", "--in", "tags", "GZ"} << 0
                                                 << QStringList{"0|plan-final.docx"} << QString() << false;
        QTest::newRow("no pinyin unless asked")
            << QStringList{"--in", "tags", "gz"} << 0 << QStringList() << QString() << false;
        QTest::newRow("unknown mode") << QStringList{"--mode", "xor", "a"} << 2 << QStringList() << "mode" << false;
        QTest::newRow("unknown field") << QStringList{"--in", "name,body", "a"} << 2 << QStringList() << "field"
                                       << false;
        QTest::newRow("no words") << QStringList{"--in", "name"} << 2 << QStringList() << "WORDS" << false;
        // With the text index the same answers: the empty and the damaged cache files are left to the scan.
        QTest::newRow("default, indexed")
            << QStringList{"会议"} << 0 << QStringList{"0|plan-final.docx", "70|notes.doc"} << notIndexed << true;
        QTest::newRow("or, one letter each, indexed")
            << QStringList{"--mode", "or", "--in", "text", "ω", "l"} << 0
            << QStringList{"0|plan-final.docx", "70|notes.doc"} << notIndexed << true;
        QTest::newRow("longer word, indexed")
            << QStringList{"--in", "text", "PLAN"} << 0 << QStringList{"0|plan-final.docx"} << notIndexed << true;
    }

    // check names each cache file the text index disagrees with, and a build brings them level.
    void velmoradbCheck_reportsTextIndex() {
        writeLibrary();
        BuildTextIndex(false);
        QVERIFY(!RunCaptured({"check"}).out.contains("index "));
        writeCache(DocPath("notes.doc"), "other");
        const Run run = RunCaptured({"check"});
        QVERIFY2(run.out.contains("index stale|" + QFileInfo(TextCachePath(DocPath("notes.doc"))).fileName() + "\n"),
                 qPrintable(run.out));
        QVERIFY2(run.err.contains("disagrees with the text cache (1 place)"), qPrintable(run.err));
        BuildTextIndex(false);
        QVERIFY(!RunCaptured({"check"}).out.contains("index "));
    }
    void velmoradbSearch() {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QStringList, out);
        QFETCH(QString, err);
        QFETCH(bool, indexed);
        writeLibrary();
        if (indexed) {
            BuildTextIndex(false);
        }
        const Run run = RunCaptured(QStringList{"search"} + args);
        QCOMPARE(run.status, status);
        QStringList lines;
        for (const QString& line : out) {
            lines.append(line.section(u'|', 0, 0) + u'|' + DocPath(line.section(u'|', 1).toUtf8().constData()) + u'\n');
        }
        QCOMPARE(run.out, lines.join(QString()));
        if (status == 0 && !err.isEmpty()) {
            QCOMPARE(run.err, err.arg(DocPath("empty.docx"), DocPath("PLAN-FINAL.DOCX"), DocPath("broken.docx")));
        } else {
            QVERIFY2(run.err.contains(err) && (status != 0 || err.isEmpty()), qPrintable(run.err));
        }
    }
};

QTEST_GUILESS_MAIN(TestSearch)
#include "tst_search.moc"
