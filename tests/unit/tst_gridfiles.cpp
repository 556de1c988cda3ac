#include "tempappdata.h"
#include "workbench/core/gridfiles.h"

#include <QTest>

using namespace velmora;
using velmora::test::ReadBytes;
using velmora::test::TempAppData;
using velmora::test::WriteBytes;

class TestGridFiles : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The shortcut file holds the trimmed tags of the non-empty cells in row-major order, whatever the first
    // cell holds; text code page 936 cannot hold makes the file UTF-8 with a byte-order mark.
    void shortcutFile_bytes_data() {
        QTest::addColumn<QStringList>("cells");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("gaps close up") << QStringList{"a", "", "  ", "b", " c ", ""} << QByteArray("a\r\nb\r\nc\r\n");
        QTest::newRow("empty first cell") << QStringList{"", "x", "", "y"} << QByteArray("x\r\ny\r\n");
        QTest::newRow("empty grid") << QStringList{"", " "} << QByteArray();
        QTest::newRow("code page 936") << QStringList{"读书", "", "笔记"}
                                       << QByteArray("\xB6\xC1\xCA\xE9\r\n\xB1\xCA\xBC\xC7\r\n");
        QTest::newRow("outside 936") << QStringList{"한국", "读"}
                                     << QByteArray("\xEF\xBB\xBF\xED\x95\x9C\xEA\xB5\xAD\r\n\xE8\xAF\xBB\r\n");
    }
    void shortcutFile_bytes() {
        QFETCH(QStringList, cells);
        QFETCH(QByteArray, bytes);
        TempAppData appData;
        const QString path = appData.file(QStringLiteral("SCList.dat"));
        WriteBytes(path, "old\r\n");
        SaveShortcutFile(path, cells);
        QCOMPARE(ReadBytes(path), bytes);
        QCOMPARE(LoadGridFile(path), ShortcutFileLines(cells));
    }

    // The tag list keeps all 64 cells, empty ones as empty lines, so that every cell comes back where it was.
    void tagsFile_bytesAndRoundTrip_data() {
        QTest::addColumn<QStringList>("cells");
        QTest::addColumn<QByteArray>("head");
        QTest::newRow("936") << QStringList{"A", "读书", "", " x "}
                             << QByteArray("A\r\n\xB6\xC1\xCA\xE9\r\n\r\n x \r\n");
        QTest::newRow("outside 936") << QStringList{"", "한"} << QByteArray("\xEF\xBB\xBF\r\n\xED\x95\x9C\r\n");
    }
    void tagsFile_bytesAndRoundTrip() {
        QFETCH(QStringList, cells);
        QFETCH(QByteArray, head);
        TempAppData appData;
        const QString path = appData.file(QStringLiteral("TagsList.dat"));
        SaveTagsFile(path, cells);
        const qsizetype rest = kTagGridCells - cells.size();
        QCOMPARE(ReadBytes(path), head + QByteArray("\r\n").repeated(rest));
        QCOMPARE(LoadGridFile(path), cells + QStringList(rest, QString()));
    }

    void shortcutLayout_followsTheLineCount_data() {
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("hidden");
        QTest::addColumn<int>("height");
        QTest::newRow("20") << 20 << 5 << false << -1;
        QTest::newRow("23") << 23 << 6 << true << 153;
        QTest::newRow("40") << 40 << 10 << true << 237;
        QTest::newRow("45") << 45 << 12 << true << -1;
    }
    void shortcutLayout_followsTheLineCount() {
        QFETCH(int, lines);
        QFETCH(int, rows);
        QFETCH(bool, hidden);
        QFETCH(int, height);
        const ShortcutLayout layout = ShortcutGridLayout(lines);
        QCOMPARE(layout.rows, rows);
        QCOMPARE(layout.hideScrollBar, hidden);
        QCOMPARE(layout.panelHeight, height);
    }
};

QTEST_GUILESS_MAIN(TestGridFiles)
#include "tst_gridfiles.moc"
