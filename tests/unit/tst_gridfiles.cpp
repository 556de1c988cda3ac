#include "tempappdata.h"
#include "workbench/gridfiles.h"

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
        QTest::newRow("full row") << QStringList{"ab", "cd", "ef", "gh"} << QByteArray("ab\r\ncd\r\nef\r\ngh\r\n");
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
        QTest::newRow("letters and tags")
            << QStringList{"A", "读书", "", " x "} << QByteArray("A\r\n\xB6\xC1\xCA\xE9\r\n\r\n x \r\n");
        QTest::newRow("outside 936") << QStringList{"", "한"} << QByteArray("\xEF\xBB\xBF\r\n\xED\x95\x9C\r\n");
        QTest::newRow("empty") << QStringList{} << QByteArray("\r\n");
    }
    void tagsFile_bytesAndRoundTrip() {
        QFETCH(QStringList, cells);
        QFETCH(QByteArray, head);
        TempAppData appData;
        const QString path = appData.file(QStringLiteral("TagsList.dat"));
        SaveTagsFile(path, cells);
        const QByteArray bytes = ReadBytes(path);
        QVERIFY(bytes.startsWith(head));
        QStringList full = cells;
        while (full.size() < kTagGridCells) {
            full.append(QString());
        }
        const int filledBreaks = int(head.count("\r\n"));
        QCOMPARE(bytes.size() - head.size(), (kTagGridCells - filledBreaks) * 2);
        QCOMPARE(LoadGridFile(path), full);
    }

    // Files edited by hand may end their lines with LF or CR alone; a missing file has no lines.
    void gridFile_readsEveryLineEnding() {
        TempAppData appData;
        const QString path = appData.file(QStringLiteral("SCList.dat"));
        QCOMPARE(LoadGridFile(path), QStringList());
        WriteBytes(path, "a\nb\rc\r\n\r\nd");
        QCOMPARE(LoadGridFile(path), (QStringList{"a", "b", "c", "", "d"}));
    }

    void shortcutLayout_followsTheLineCount_data() {
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("hidden");
        QTest::addColumn<int>("height");
        QTest::newRow("3") << 3 << 5 << false << -1;
        QTest::newRow("20") << 20 << 5 << false << -1;
        QTest::newRow("21") << 21 << 6 << true << 153;
        QTest::newRow("23") << 23 << 6 << true << 153;
        QTest::newRow("24") << 24 << 6 << true << 153;
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

    void freeShortcutCell_data() {
        QTest::addColumn<QStringList>("cells");
        QTest::addColumn<QString>("tag");
        QTest::addColumn<int>("cell");
        QTest::newRow("first blank") << QStringList{"a", " ", ""} << "b" << 1;
        QTest::newRow("emptied first") << QStringList{"", "a"} << "b" << 0;
        QTest::newRow("other case") << QStringList{"", "Work"} << "wORK" << -1;
        QTest::newRow("full") << QStringList{"a", "b"} << "c" << -1;
    }
    void freeShortcutCell() {
        QFETCH(QStringList, cells);
        QFETCH(QString, tag);
        QFETCH(int, cell);
        QCOMPARE(FreeShortcutCell(cells, tag), cell);
    }

    // A click on a common tag: headers and capitalised tags are never added; the others join after one space.
    void commonTag_joinsTheTagEdit_data() {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QString>("cell");
        QTest::addColumn<bool>("header");
        QTest::addColumn<QString>("after");
        QTest::newRow("empty edit") << ""
                                    << "读书" << false << "读书";
        QTest::newRow("no trailing space") << "a b"
                                           << "tag" << false << "a b tag";
        QTest::newRow("trailing space") << "a "
                                        << "tag" << false << "a tag";
        QTest::newRow("again") << "tag"
                               << "tag" << false << "tag tag";
        QTest::newRow("header") << "a"
                                << "A" << true << "a";
        QTest::newRow("capitalised") << "a"
                                     << "Abc" << false << "a";
        QTest::newRow("two letters") << "a"
                                     << "AB" << false << "a";
        QTest::newRow("lower letter") << ""
                                      << "a" << false << "a";
        QTest::newRow("blank") << "a"
                               << "  " << false << "a";
    }
    void commonTag_joinsTheTagEdit() {
        QFETCH(QString, edit);
        QFETCH(QString, cell);
        QFETCH(bool, header);
        QFETCH(QString, after);
        QCOMPARE(IsHeaderCell(cell), header);
        QCOMPARE(AddsToTagEdit(cell) ? AppendTag(edit, cell) : edit, after);
    }
};

QTEST_GUILESS_MAIN(TestGridFiles)
#include "tst_gridfiles.moc"
