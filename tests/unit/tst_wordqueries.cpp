#include "common/datetime.h"
#include "common/fileinfo.h"
#include "store/wordmgr.h"
#include "tempappdata.h"

#include <QDateTime>
#include <QFile>
#include <QTest>

#include <memory>

using namespace velmora;
using namespace velmora::test;

namespace {

struct Doc {
    QString path = {};
    QString tags = {};
    QString password = {};
    quint8 score = 0;
    bool deleted = false;
};

} // namespace

class TestWordQueries : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempAppData> m_appData;
    std::unique_ptr<TWordMgr> m_store;

    TWordMgr& library(const QList<Doc>& docs) {
        m_store = std::make_unique<TWordMgr>(m_appData->file(QStringLiteral("worddata.data")));
        for (const Doc& doc : docs) {
            const qint64 pos = m_store->ImportAWord(doc.path, doc.tags, doc.password, doc.score);
            if (doc.deleted) {
                m_store->SetRecDeleted(pos, true);
            }
        }
        return *m_store;
    }

    static QString lines(std::initializer_list<std::pair<int, const char*>> entries) {
        QString text;
        for (const auto& [pos, path] : entries) {
            text += QString::number(pos) + u'|' + QString::fromUtf8(path) + QStringLiteral("\r\n");
        }
        return text;
    }

private Q_SLOTS:
    void init() { m_appData = std::make_unique<TempAppData>(); }
    void cleanup() {
        m_store.reset();
        m_appData.reset();
    }

    void emptyLibrary_everyQueryIsEmpty() {
        TWordMgr& store = library({});
        QString lst;
        QCOMPARE(store.GetListForLoadwzTV(QStringLiteral("a"), true), QString());
        QCOMPARE(store.GetListForLoadwzTV2(QStringLiteral("/a.doc")), QString());
        store.QkSearchByTag(QStringLiteral("无标签文档"), lst);
        store.QkSearchByScore(QStringLiteral("无星文档"), lst);
        store.QkSearchByDateTime(QStringLiteral("今天"), DateSource::Accessed, lst);
        store.QkSearchByPSW(lst);
        QCOMPARE(lst, QString());
        QVERIFY(!store.DocInBase(QStringLiteral("/a.doc")));
        QVERIFY(!store.HasSameCrDateTime(0.0));
    }

    void tagQuery_data() {
        QTest::addColumn<QString>("tags");
        QTest::addColumn<QString>("query");
        QTest::addColumn<bool>("shift");
        QTest::addColumn<bool>("selected");
        QTest::newRow("one of several tags") << "work report"
                                             << "report" << false << true;
        QTest::newRow("query of a tag and its descendants") << "plan"
                                                            << "work report plan" << false << true;
        QTest::newRow("ignoring case") << "Report"
                                       << "REPORT" << false << true;
        QTest::newRow("a tag inside a query word is no match") << "rep"
                                                               << "report" << false << false;
        QTest::newRow("another tag inside a query word") << "port"
                                                         << "work report" << false << false;
        QTest::newRow("a query word inside a tag is no match") << "reports"
                                                               << "report" << false << false;
        QTest::newRow("xa does not select a") << "a b"
                                              << "xa" << false << false;
        QTest::newRow("two spaces between tags") << "a  b"
                                                 << "b" << false << true;
        QTest::newRow("chinese tag") << "笔记 北京"
                                     << "北京" << false << true;
        QTest::newRow("query words separated by line breaks") << "b"
                                                              << "a\r\nb" << false << true;
        QTest::newRow("no tags never selected") << ""
                                                << "report" << true << false;
        QTest::newRow("shift: a tag inside the own path") << "notes"
                                                          << "unrelated" << true << true;
        QTest::newRow("shift: the path test ignores case") << "NOTES"
                                                           << "unrelated" << true << true;
        QTest::newRow("without shift the path is not looked at") << "notes"
                                                                 << "unrelated" << false << false;
        QTest::newRow("shift: a tag in neither") << "other"
                                                 << "unrelated" << true << false;
    }
    void tagQuery() {
        QFETCH(QString, tags);
        QFETCH(QString, query);
        QFETCH(bool, shift);
        QFETCH(bool, selected);
        TWordMgr& store = library({{QStringLiteral("/home/u/other.doc"), QStringLiteral("unrelated-tag")},
                                   {QStringLiteral("/home/u/notes/x.doc"), tags}});
        // The first query scans, later ones use the index built on the second: both must agree.
        for (int round = 0; round < 3; ++round) {
            QCOMPARE(store.GetListForLoadwzTV(query, shift),
                     selected ? lines({{35, "/home/u/notes/x.doc"}}) : QString());
        }
    }

    void tagQuery_listsInRecordOrderWithoutDeletedAndNamesakes() {
        TWordMgr& store = library({
            {QStringLiteral("/d/x.docx"), QStringLiteral("a")},
            {QStringLiteral("/d/y.doc"), QStringLiteral("b"), {}, 0, true},
            {QStringLiteral("/d/x.doc"), QStringLiteral("b a")},
            {QStringLiteral("/d/X.DOCX"), QStringLiteral("b")},
            {QStringLiteral("/d/z.doc"), QStringLiteral("q")},
        });
        // x.doc is its own document even though its path is part of x.docx; X.DOCX is x.docx again.
        const QString expected = lines({{0, "/d/x.docx"}, {70, "/d/x.doc"}});
        QCOMPARE(store.GetListForLoadwzTV(QStringLiteral("b a"), false), expected);
        QCOMPARE(store.GetListForLoadwzTV(QStringLiteral("b a"), true), expected);
        // Every scan leaves the last record of the file as the current record.
        QCOMPARE(store.WordRec(), store.RecordAt(140));
    }

    void tagQuery_followsChangesAfterEarlierQueries() {
        TWordMgr& store = library(
            {{QStringLiteral("/d/a.doc"), QStringLiteral("old")}, {QStringLiteral("/d/b.doc"), QStringLiteral("old")}});
        QCOMPARE(store.GetListForLoadwzTV(QStringLiteral("old"), false), lines({{0, "/d/a.doc"}, {35, "/d/b.doc"}}));
        store.SaveTags(0, QStringLiteral("new"), true);
        store.SetRecDeleted(35, true);
        const qint64 c = store.ImportAWord(QStringLiteral("/d/c.doc"), QString(), QString(), 0);
        store.SaveTags(c, QStringLiteral("x old"), true);
        QCOMPARE(store.GetListForLoadwzTV(QStringLiteral("old"), false), lines({{70, "/d/c.doc"}}));
        QCOMPARE(store.GetListForLoadwzTV(QStringLiteral("new"), false), lines({{0, "/d/a.doc"}}));
        store.RestoreAItem(35);
        store.DelAItemPermanently(0);
        QCOMPARE(store.GetListForLoadwzTV(QStringLiteral("old"), false), lines({{0, "/d/b.doc"}, {35, "/d/c.doc"}}));
        store.CleanStreams();
        QCOMPARE(store.GetListForLoadwzTV(QStringLiteral("old"), false), lines({{0, "/d/b.doc"}, {35, "/d/c.doc"}}));
    }

    void pathListing_selectsWholeLinesOnly() {
        TWordMgr& store = library({{QStringLiteral("/d/report.doc")},
                                   {QStringLiteral("/d/Report.docx")},
                                   {QStringLiteral("/d/sub/report.doc")},
                                   {QStringLiteral("/d/gone.doc"), {}, {}, 0, true}});
        const QString listing = QStringLiteral("/d/report.docx\n/d/sub/REPORT.DOC\r\n/d/gone.doc\r\n/d/missing.doc");
        QCOMPARE(store.GetListForLoadwzTV2(listing), lines({{35, "/d/Report.docx"}, {70, "/d/sub/report.doc"}}));
        store.BatRemoveDocs(listing);
        QVERIFY(store.DocInBase(QStringLiteral("/d/report.doc")));
        QVERIFY(!store.DocInBase(QStringLiteral("/d/report.docx")));
        QVERIFY(!store.DocInBase(QStringLiteral("/d/sub/report.doc")));
        QVERIFY(store.RecordAt(105).wdDeleted);
    }

    void filterQueries_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("word");
        QTest::addColumn<QString>("expected");
        QTest::newRow("untagged") << "tag"
                                  << "无标签文档" << lines({{0, "/d/a.doc"}, {70, "/d/c.doc"}});
        QTest::newRow("tag text containment") << "tag"
                                              << "WOR" << lines({{35, "/d/b.doc"}});
        QTest::newRow("no stars") << "score"
                                  << "无星文档" << lines({{0, "/d/a.doc"}});
        QTest::newRow("three stars") << "score"
                                     << "三星" << lines({{35, "/d/b.doc"}});
        QTest::newRow("five stars") << "score"
                                    << "五星" << QString();
        QTest::newRow("unknown score word") << "score"
                                            << "六星" << QString();
        QTest::newRow("password") << "psw"
                                  << "" << lines({{35, "/d/b.doc"}, {70, "/d/c.doc"}});
    }
    void filterQueries() {
        QFETCH(QString, kind);
        QFETCH(QString, word);
        QFETCH(QString, expected);
        TWordMgr& store = library({
            {QStringLiteral("/d/a.doc")},
            {QStringLiteral("/d/b.doc"), QStringLiteral("work"), QStringLiteral("p"), 3},
            {QStringLiteral("/d/c.doc"), QString(), QStringLiteral("p"), 6},
            {QStringLiteral("/d/gone.doc"), QStringLiteral("work"), QStringLiteral("p"), 3, true},
        });
        store.SaveTags(store.ImportAWord(QStringLiteral("/d/cleared.doc"), QString(), QString(), 1), QString(), true);
        store.SetRecDeleted(140, true);
        QString lst;
        if (kind == QLatin1String("tag")) {
            store.QkSearchByTag(word, lst);
        } else if (kind == QLatin1String("score")) {
            store.QkSearchByScore(word, lst);
        } else {
            store.QkSearchByPSW(lst);
        }
        QCOMPARE(lst, expected);
    }

    void filterQueries_appendToCallersListWithoutRepeats() {
        TWordMgr& store = library({{QStringLiteral("/d/a.doc"), {}, QStringLiteral("p")},
                                   {QStringLiteral("/d/b.doc"), {}, QStringLiteral("p")}});
        QString lst = lines({{35, "/d/B.DOC"}, {99, "/elsewhere.doc"}});
        store.QkSearchByPSW(lst);
        QCOMPARE(lst, lines({{35, "/d/B.DOC"}, {99, "/elsewhere.doc"}, {0, "/d/a.doc"}}));
    }

    void accessDateWindows_data() {
        QTest::addColumn<QString>("window");
        QTest::addColumn<double>("daysAgo");
        QTest::addColumn<bool>("selected");
        QTest::newRow("today: now") << "今天" << 0.0 << true;
        QTest::newRow("today: yesterday") << "今天" << 1.0 << false;
        QTest::newRow("today: same day of an earlier month") << "今天" << -1.0 << false;
        QTest::newRow("three days: 3.9 days") << "三日内" << 3.9 << true;
        QTest::newRow("three days: 4 days") << "三日内" << 4.0 << false;
        QTest::newRow("three days: 2 days ahead") << "三日内" << -2.0 << true;
        QTest::newRow("week: 7.5 days") << "一周内" << 7.5 << true;
        QTest::newRow("month: 31 days 23 hours") << "一月内" << 31.0 + 23.0 / 24.0 << true;
        QTest::newRow("month: 32 days") << "一月内" << 32.0 << false;
        QTest::newRow("unknown word") << "一年内" << 0.0 << false;
    }
    void accessDateWindows() {
        QFETCH(QString, window);
        QFETCH(double, daysAgo);
        QFETCH(bool, selected);
        TWordMgr& store = library({{QStringLiteral("/d/a.doc")}, {QStringLiteral("/d/never.doc")}});
        const QDateTime now = QDateTime::currentDateTime();
        // -1 stands for the same day of the month one month back.
        const double when = daysAgo == -1.0 ? DateTimeToDays(now.addMonths(-1)) : NowAsDays() - daysAgo;
        store.SetDateTime(0, wdiAccessTime, when, true);
        QString lst;
        store.QkSearchByDateTime(window, DateSource::Accessed, lst);
        QCOMPARE(lst, selected ? lines({{0, "/d/a.doc"}}) : QString());
    }

    void neverOpened_isNeverToday() {
        TWordMgr& store = library({{QStringLiteral("/d/never.doc")}});
        for (const QString& window : {QStringLiteral("今天"), QStringLiteral("一月内")}) {
            QString lst;
            store.QkSearchByDateTime(window, DateSource::Accessed, lst);
            QCOMPARE(lst, QString());
        }
    }

    void diskDateWindows_missingFileFailsEveryWindow() {
        const QString present = m_appData->file(QStringLiteral("present.doc"));
        WriteBytes(present, "x");
        TWordMgr& store = library({{QStringLiteral("/nowhere/missing.doc")}, {present}});
        for (const DateSource source : {DateSource::FileCreated, DateSource::FileWritten}) {
            QString lst;
            store.QkSearchByDateTime(QStringLiteral("今天"), source, lst);
            QCOMPARE(lst, lines({{35, qPrintable(present)}}));
        }
    }

    void docInBase_scanAndIndexAgree_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("found");
        QTest::newRow("same") << "/d/Report.docx" << true;
        QTest::newRow("ascii case") << "/D/REPORT.DOCX" << true;
        QTest::newRow("non-ascii case differs") << "/d/Éte.doc" << false;
        QTest::newRow("prefix of a path") << "/d/Report.doc" << false;
        QTest::newRow("deleted") << "/d/gone.doc" << false;
        QTest::newRow("empty") << "" << false;
    }
    void docInBase_scanAndIndexAgree() {
        QFETCH(QString, path);
        QFETCH(bool, found);
        TWordMgr& store = library({{QStringLiteral("/d/Report.docx")},
                                   {QStringLiteral("/d/éte.doc")},
                                   {QStringLiteral("/d/gone.doc"), {}, {}, 0, true}});
        for (int round = 0; round < 3; ++round) {
            QCOMPARE(store.DocInBase(path), found);
        }
    }

    void lookups_byPathAndCreationTime() {
        TWordMgr& store = library({{QStringLiteral("/d/a.doc"), QStringLiteral("t"), QStringLiteral("p"), 2},
                                   {QStringLiteral("/d/b.doc"), {}, {}, 4, true}});
        store.SetDateTime(0, wdiCreateTime, 45000.25, true);
        store.SetDateTime(35, wdiCreateTime, 45001.5, true);
        QVERIFY(store.DocInBase(QStringLiteral("/D/A.DOC")));
        QCOMPARE(store.WordRec(), store.RecordAt(0));
        QVERIFY(!store.DocInBase(QStringLiteral("/d/a.do")));
        QVERIFY(!store.DocInBase(QStringLiteral("/d/b.doc")));
        QString psw = QStringLiteral("stale");
        QString tags = QStringLiteral("stale");
        quint8 sc = 9;
        QCOMPARE(store.GetRecPosByDocCreateTime(QStringLiteral("/d/A.doc"), 45000.25, psw, tags, sc), qint64(0));
        QCOMPARE(psw, QStringLiteral("p"));
        QCOMPARE(tags, QStringLiteral("t"));
        QCOMPARE(sc, quint8(2));
        sc = 9;
        QCOMPARE(store.GetRecPosByDocCreateTime(QStringLiteral("/d/a.doc"), 45000.26, psw, tags, sc), qint64(-1));
        QCOMPARE(psw, QString());
        QCOMPARE(sc, quint8(9));
        QCOMPARE(store.GetRecPosByDocCreateTime(QStringLiteral("/d/b.doc"), 45001.5), qint64(-1));
        // The time of day counts, not the date, and deleted records count too.
        QVERIFY(store.HasSameCrDateTime(12345.5));
        QVERIFY(!store.HasSameCrDateTime(12345.75));
        QString fn;
        store.GetDocAllByPos(0, fn, psw, tags, sc);
        QCOMPARE(fn, QStringLiteral("/d/a.doc"));
        QCOMPARE(store.GetDocNameByPos(35), QStringLiteral("/d/b.doc"));
    }

    // A tag equals a query word ignoring the case of every letter, whether the query scans or uses the index.
    void tagEquality_ignoresCaseOfEveryLetter_data() {
        QTest::addColumn<QString>("tag");
        QTest::addColumn<QString>("word");
        QTest::addColumn<bool>("equal");
        QTest::newRow("ascii") << QStringLiteral("Work") << QStringLiteral("wORK") << true;
        QTest::newRow("umlaut") << QStringLiteral("Ärger") << QStringLiteral("ärger") << true;
        QTest::newRow("greek") << QStringLiteral("ΑΘΗΝΑ") << QStringLiteral("αθηνα") << true;
        QTest::newRow("cyrillic") << QStringLiteral("Москва") << QStringLiteral("МОСКВА") << true;
        QTest::newRow("full-width") << QStringLiteral("ＡＢＣ") << QStringLiteral("ａｂｃ") << true;
        QTest::newRow("kelvin sign") << QStringLiteral("\u212Aelvin") << QStringLiteral("kelvin") << true;
        QTest::newRow("prefix only") << QStringLiteral("Ärgerlich") << QStringLiteral("ärger") << false;
        QTest::newRow("other letter") << QStringLiteral("Ärger") << QStringLiteral("arger") << false;
    }
    void tagEquality_ignoresCaseOfEveryLetter() {
        QFETCH(QString, tag);
        QFETCH(QString, word);
        QFETCH(bool, equal);
        TWordMgr& store = library({{QStringLiteral("/d/a.doc"), QStringLiteral("x ") + tag + u' '}});
        const QString expected = equal ? lines({{0, "/d/a.doc"}}) : QString();
        // The first query scans; the second builds and uses the index.
        QCOMPARE(store.GetListForLoadwzTV(word, false), expected);
        QCOMPARE(store.GetListForLoadwzTV(word, false), expected);
    }

    // Two creation times are the same time of day when they differ by less than one millisecond, exactly.
    void sameCreationTime_byExactDifference_data() {
        QTest::addColumn<double>("stored");
        QTest::addColumn<double>("asked");
        QTest::addColumn<bool>("same");
        const double ms = 1.0 / 86400000.0;
        QTest::newRow("equal") << 100.25 << 7.25 << true;
        QTest::newRow("0.2 ms apart, one rounding up") << 100.25 + 0.4 * ms << 7.25 + 0.6 * ms << true;
        QTest::newRow("0.9 ms apart") << 100.25 << 7.25 + 0.9 * ms << true;
        QTest::newRow("1.1 ms apart, both rounding to one ms") << 100.25 + 0.45 * ms << 7.25 + 1.55 * ms << false;
        QTest::newRow("a second apart") << 100.25 << 7.25 + 1000 * ms << false;
    }
    void sameCreationTime_byExactDifference() {
        QFETCH(double, stored);
        QFETCH(double, asked);
        QFETCH(bool, same);
        TWordMgr& store = library({{QStringLiteral("/d/a.doc"), {}, {}, 0, true}});
        store.SetDateTime(0, wdiCreateTime, stored, true);
        QCOMPARE(store.HasSameCrDateTime(asked), same);
        store.RestoreADeleted(QStringLiteral("/d/a.doc"), asked);
        QCOMPARE(store.RecordAt(0).wdDeleted, !same);
    }

    void docInBase_followsRenamesAndNewRecords() {
        TWordMgr& store = library({{QStringLiteral("/d/a.doc")}});
        QVERIFY(store.DocInBase(QStringLiteral("/d/a.doc")));
        store.SaveDocName(0, QStringLiteral("/d/renamed.doc"), true);
        QVERIFY(!store.DocInBase(QStringLiteral("/d/a.doc")));
        QVERIFY(store.DocInBase(QStringLiteral("/d/renamed.doc")));
        store.ImportAWord(QStringLiteral("/d/a.doc"), QString(), QString(), 0);
        QVERIFY(store.DocInBase(QStringLiteral("/d/a.doc")));
        store.DelAItemPermanently(35);
        QVERIFY(!store.DocInBase(QStringLiteral("/d/a.doc")));
    }

    void restore_operations() {
        TWordMgr& store = library({{QStringLiteral("/d/a.doc"), {}, {}, 0, true},
                                   {QStringLiteral("/d/a.doc"), {}, {}, 0, true},
                                   {QStringLiteral("/d/c.doc"), {}, {}, 0, true}});
        store.SetDateTime(0, wdiCreateTime, 100.5, true);
        store.SetDateTime(35, wdiCreateTime, 200.25, true);
        store.RestoreADeleted(QStringLiteral("/D/A.doc"), 7.25);
        QVERIFY(store.RecordAt(0).wdDeleted);
        QVERIFY(!store.RecordAt(35).wdDeleted);
        store.RestoreAItem(70);
        QVERIFY(!store.RecordAt(70).wdDeleted);
        store.SetRecDeleted(70, true);
        store.RestoreAllDeleted();
        for (const qint64 pos : {0, 35, 70}) {
            QVERIFY(!store.RecordAt(pos).wdDeleted);
        }
    }

    void permanentRemoval() {
        TWordMgr& store = library({{QStringLiteral("/d/1.doc")},
                                   {QStringLiteral("/d/2.doc"), {}, {}, 0, true},
                                   {QStringLiteral("/d/3.doc")}});
        const QByteArray second = store.RecStream().mid(35, 35);
        const QByteArray third = store.RecStream().mid(70, 35);
        store.SaveRecDataFiles(false);
        store.DelAItemPermanently(0);
        QVERIFY(store.IndexChanged());
        QCOMPARE(store.RecStream(), second + third);
        store.DelAllItemsPermanently();
        QCOMPARE(store.RecStream(), third);
        QCOMPARE(store.GetDocNameByPos(0), QStringLiteral("/d/3.doc"));
    }
};

QTEST_GUILESS_MAIN(TestWordQueries)
#include "tst_wordqueries.moc"
