// Records whose files were moved or renamed find them again: by name and text, by text alone, by name alone where
// no text can be compared; several candidates or none are reported, and a file another record holds is nobody's.

#include "store/movejournal.h"
#include "store/textcache.h"
#include "store/wordmgr.h"
#include "tempappdata.h"
#include "workbench/core/relink.h"

#include <QDir>
#include <QTest>

#include <memory>

using namespace velmora;
using namespace velmora::test;

class TestRelink : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempAppData> m_appData;
    QString m_root;

    QString at(const QString& relative) const { return m_root + relative; }
    QString dbFile() const { return m_appData->file(QStringLiteral("worddata.data")); }

    // A file's text is its content; "LOCKED" stands for a file the reader cannot read (a protected document).
    static std::optional<QString> readPlain(const QString& path) {
        const QByteArray bytes = ReadBytes(path);
        if (bytes == "LOCKED") {
            return std::nullopt;
        }
        return QString::fromUtf8(bytes);
    }

    // "path|text" files; records "path|cached text|tags" (no cache when the text is "-").
    void lay(const QStringList& records, const QStringList& files) {
        for (const QString& file : files) {
            const QString path = at(file.section(u'|', 0, 0).section(QStringLiteral("->"), 0, 0));
            QDir().mkpath(QFileInfo(path).absolutePath());
            if (file.contains(QStringLiteral("->"))) {
                QVERIFY(QFile::link(file.section(QStringLiteral("->"), 1), path));
            } else {
                WriteBytes(path, file.section(u'|', 1).toUtf8());
            }
        }
        TWordMgr store(dbFile());
        for (const QString& record : records) {
            const QString path = at(record.section(u'|', 0, 0));
            const qint64 pos = store.ImportAWord(path, record.section(u'|', 2, 2), QStringLiteral("pw"), 4);
            store.IncADigitItem(pos, wdiReadTimes, true);
            store.SetDateTime(pos, wdiAccessTime, 46000.5, true);
            if (record.section(u'|', 1, 1) != QLatin1String("-")) {
                WriteTextCache(path, record.section(u'|', 1, 1));
            }
        }
        store.SaveRecDataFiles(false);
    }

    QStringList lines(const RelinkPlan& plan) const {
        QStringList out;
        const auto shown = [this](const QString& path) { return QString(path).remove(m_root); };
        for (const RelinkFinding& finding : plan.findings) {
            switch (finding.kind) {
            case RelinkFinding::Kind::Relinked:
                out.append(QStringLiteral("relinked|%1|%2|%3")
                               .arg(finding.position)
                               .arg(shown(finding.oldPath), shown(finding.newPath)));
                break;
            case RelinkFinding::Kind::ByName:
                out.append(QStringLiteral("by name|%1|%2|%3")
                               .arg(finding.position)
                               .arg(shown(finding.oldPath), shown(finding.newPath)));
                break;
            case RelinkFinding::Kind::Ambiguous:
                out.append(QStringLiteral("ambiguous|%1|%2|%3")
                               .arg(finding.position)
                               .arg(shown(finding.oldPath))
                               .arg(finding.candidates));
                break;
            case RelinkFinding::Kind::NotFound:
                out.append(QStringLiteral("not found|%1|%2").arg(finding.position).arg(shown(finding.oldPath)));
                break;
            }
        }
        return out;
    }

private Q_SLOTS:
    void init() {
        m_appData = std::make_unique<TempAppData>();
        m_root = m_appData->file(QStringLiteral("disk/"));
    }
    void cleanup() { m_appData.reset(); }

    void scenarios_data() {
        QTest::addColumn<QStringList>("records");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("moved") << QStringList{"old/a.docx|alpha text|t"} << QStringList{"new/deep/a.docx|alpha text"}
                               << QStringList{"relinked|0|old/a.docx|new/deep/a.docx"};
        QTest::newRow("renamed, line breaks aside")
            << QStringList{"old/a.docx|alpha\r\ntext|t"} << QStringList{"new/b.docx|alpha text\r", "new/c.docx|beta"}
            << QStringList{"relinked|0|old/a.docx|new/b.docx"};
        QTest::newRow("moved and renamed, .doc to .docx")
            << QStringList{"old/Plan.doc|计划 2027|"} << QStringList{"new/x/y/NEW.DOCX|计划2027"}
            << QStringList{"relinked|0|old/Plan.doc|new/x/y/NEW.DOCX"};
        QTest::newRow("name case ignored") << QStringList{"old/Plan.docx|plan|"} << QStringList{"new/PLAN.docx|plan"}
                                           << QStringList{"relinked|0|old/Plan.docx|new/PLAN.docx"};
        QTest::newRow("folder renamed in letter case only")
            << QStringList{"new/Sub/a.docx|alpha|"} << QStringList{"new/sub/a.docx|alpha"}
            << QStringList{"relinked|0|new/Sub/a.docx|new/sub/a.docx"};
        QTest::newRow("duplicate copies")
            << QStringList{"old/a.docx|alpha|"} << QStringList{"new/1/a.docx|alpha", "new/2/a.docx|alpha"}
            << QStringList{"ambiguous|0|old/a.docx|2"};
        QTest::newRow("renamed copies") << QStringList{"old/a.docx|alpha|"}
                                        << QStringList{"new/1/b.docx|alpha", "new/2/c.doc|alpha"}
                                        << QStringList{"ambiguous|0|old/a.docx|2"};
        QTest::newRow("the copy with the cached text wins over a namesake")
            << QStringList{"old/a.docx|alpha|"} << QStringList{"new/1/a.docx|other", "new/2/a.docx|alpha"}
            << QStringList{"relinked|0|old/a.docx|new/2/a.docx"};
        QTest::newRow("a namesake with another text is no match")
            << QStringList{"old/a.docx|alpha|"} << QStringList{"new/a.docx|edited"}
            << QStringList{"not found|0|old/a.docx"};
        QTest::newRow("no cache: the name alone")
            << QStringList{"old/a.docx|-|", "old/b.docx|-|"}
            << QStringList{"new/a.docx|x", "new/1/b.docx|y", "new/2/b.docx|y"}
            << QStringList{"by name|0|old/a.docx|new/a.docx", "ambiguous|35|old/b.docx|2"};
        QTest::newRow("an unreadable namesake of a known text")
            << QStringList{"old/a.docx|alpha|"} << QStringList{"new/a.docx|LOCKED"}
            << QStringList{"not found|0|old/a.docx"};
        QTest::newRow("empty text proves nothing")
            << QStringList{"old/a.docx|  \r\n|"} << QStringList{"new/b.docx|", "new/c.docx| "}
            << QStringList{"not found|0|old/a.docx"};
        QTest::newRow("a file another record holds")
            << QStringList{"new/a.docx|alpha|", "old/a.docx|alpha|"}
            << QStringList{"new/a.docx|alpha", "new/A.DOCX|beta"} << QStringList{"not found|35|old/a.docx"};
        QTest::newRow("one file two records would take")
            << QStringList{"old/a.doc|alpha|", "old/a.docx|alpha|"} << QStringList{"new/a.docx|alpha"}
            << QStringList{"ambiguous|0|old/a.doc|1", "ambiguous|35|old/a.docx|1"};
        // A linked file is not where the document is.
        QTest::newRow("a linked file") << QStringList{"old/a.docx|alpha|"}
                                       << QStringList{"kept/a.docx|alpha", "new/a.docx->../kept/a.docx"}
                                       << QStringList{"not found|0|old/a.docx"};
        QTest::newRow("not a Word file") << QStringList{"old/a.docx|alpha|"} << QStringList{"new/a.txt|alpha"}
                                         << QStringList{"not found|0|old/a.docx"};
    }
    void scenarios() {
        QFETCH(QStringList, records);
        QFETCH(QStringList, files);
        QFETCH(QStringList, expected);
        lay(records, files);
        RelinkPlan plan;
        {
            TWordMgr store(dbFile());
            plan = PlanRelinks(FindMissingDocuments(store), {at(QStringLiteral("new"))}, HeldFiles(store),
                               &TestRelink::readPlain);
            QCOMPARE(lines(plan), expected);
            ApplyRelinks(store, plan);
            QCOMPARE(lines(plan), expected);
        }
        // What the library holds after opening it again: the new paths, everything else as it was, the text along.
        TWordMgr store(dbFile(), OpenMode::ReadOnly);
        for (const RelinkFinding& finding : plan.findings) {
            const QString path = store.GetDocNameByPos(finding.position);
            const TWordRec rec = store.RecordAt(finding.position);
            QCOMPARE(rec.wdScore, quint8(4));
            QCOMPARE(rec.wdReadTimes, quint16(1));
            QCOMPARE(rec.wdAccessTime, 46000.5);
            QCOMPARE(store.StringAt(rec.wdPasswordPos), QStringLiteral("pw"));
            if (finding.kind != RelinkFinding::Kind::Relinked) {
                QCOMPARE(path, finding.oldPath);
                continue;
            }
            QCOMPARE(path, finding.newPath);
            const QString cached = records.value(int(finding.position / TWordRec::Size)).section(u'|', 1, 1);
            QCOMPARE(HasTextCache(finding.newPath), cached != QLatin1String("-"));
            // A path that differs only in letter case names the same cache.
            QVERIFY(TextCachePath(finding.oldPath) == TextCachePath(finding.newPath) || !HasTextCache(finding.oldPath));
        }
        QVERIFY(!QFile::exists(MoveJournalFile(dbFile())));
    }

    // The walk names what it cannot read, lists a folder of many files whole, and takes a folder given twice once.
    void largeFolder_andFoldersGivenTwice() {
        QStringList files;
        for (int i = 0; i < 10000; ++i) {
            files.append(QStringLiteral("new/many/n%1.docx|note %1").arg(i));
        }
        files.append(QStringLiteral("new/many/sub/renamed.doc|the one"));
        lay({QStringLiteral("old/a.docx|the one|"), QStringLiteral("old/n77.docx|-|")}, files);
        TWordMgr store(dbFile());
        const RelinkPlan plan = PlanRelinks(FindMissingDocuments(store), {at("new"), at("new/many"), at("absent")},
                                            HeldFiles(store), &TestRelink::readPlain);
        QCOMPARE(lines(plan), (QStringList{"relinked|0|old/a.docx|new/many/sub/renamed.doc",
                                           "by name|35|old/n77.docx|new/many/n77.docx"}));
        QCOMPARE(plan.unreadableFolders.size(), 1);
        QVERIFY(plan.unreadableFolders.first().startsWith(at("absent") + QStringLiteral(": ")));
    }

    // A record changed between the plan and its use is left alone.
    void apply_leavesARecordThatChangedMeanwhile() {
        lay({QStringLiteral("old/a.docx|alpha|"), QStringLiteral("old/b.docx|beta|")},
            {QStringLiteral("new/a.docx|alpha"), QStringLiteral("new/b.docx|beta")});
        TWordMgr store(dbFile());
        RelinkPlan plan =
            PlanRelinks(FindMissingDocuments(store), {at("new")}, HeldFiles(store), &TestRelink::readPlain);
        QDir().mkpath(at("old"));
        WriteBytes(at("old/a.docx"), "back again");
        store.ImportAWord(at("new/b.docx"), {}, {}, 0);
        ApplyRelinks(store, plan);
        QCOMPARE(lines(plan), (QStringList{"not found|0|old/a.docx", "not found|35|old/b.docx"}));
        QCOMPARE(store.GetDocNameByPos(0), at("old/a.docx"));
        QCOMPARE(store.GetDocNameByPos(35), at("old/b.docx"));
        // The one file picked for a record goes the same way.
        QVERIFY(!RelinkToFile(store, 35, at("new/b.docx")));
        QVERIFY(RelinkToFile(store, 35, at("new/a.docx")));
        QCOMPARE(store.GetDocNameByPos(35), at("new/a.docx"));
    }
};

QTEST_GUILESS_MAIN(TestRelink)
#include "tst_relink.moc"
