#include "common/errors.h"
#include "storebytes.h"
#include "tempappdata.h"
#include "workbench/core/treefile.h"

#include <QTest>

#include <algorithm>
#include <limits>

using namespace velmora;
using velmora::test::le32;
using velmora::test::ReadBytes;
using velmora::test::TempAppData;
using velmora::test::WriteBytes;

Q_DECLARE_METATYPE(velmora::Tree)

namespace {

// Spaces between the bytes are for the reader: fromHex skips them.
QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

TreeNode node(const QString& text, int image = 0, qint32 state = -1, Tree children = {}) {
    return TreeNode{text, image, state, std::move(children)};
}

// One line per node: a ">" per level, the text, and the image and state in brackets, so that a failure shows
// where two trees part.
void describe(const Tree& tree, int depth, QStringList& lines) {
    for (const TreeNode& n : tree) {
        lines.append(QString(depth, u'>') + n.text + QStringLiteral(" [%1 %2]").arg(n.image).arg(n.state));
        describe(n.children, depth + 1, lines);
    }
}

QString describe(const Tree& tree) {
    QStringList lines;
    describe(tree, 0, lines);
    return lines.join(u'|');
}

// The shape alone: a ">" per level and the text.
void outline(const Tree& tree, int depth, QStringList& lines) {
    for (const TreeNode& n : tree) {
        lines.append(QString(depth, u'>') + n.text);
        outline(n.children, depth + 1, lines);
    }
}

QString outline(const Tree& tree) {
    QStringList lines;
    outline(tree, 0, lines);
    return lines.join(u'|');
}

bool allBlank(const Tree& tree) {
    return std::all_of(tree.begin(), tree.end(),
                       [](const TreeNode& n) { return n.image == 0 && n.state == -1 && allBlank(n.children); });
}

// The three nodes a, b under a, and c, with the lines "a", TAB "b", "c" as their 10 text bytes.
const char* const kThreeNodeText = "61 0d0a 09 62 0d0a 63 0d0a";

QByteArray threeNodeFile(const QByteArray& head, const QByteArray& tail) {
    return head + hex(kThreeNodeText) + tail;
}

} // namespace

class TstTreeFile final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void encodeTreeFile_matchesHandBuiltBytes_data();
    void encodeTreeFile_matchesHandBuiltBytes();
    void decodeTreeFile_handBuiltBytes_data();
    void decodeTreeFile_handBuiltBytes();
    void decodeTreeText_structure_data();
    void decodeTreeText_structure();
    void decodeTreeText_lineTooDeep_raisesNamingFile_data();
    void decodeTreeText_lineTooDeep_raisesNamingFile();
    void decodeTreeFile_headDoesNotFit_raisesNamingFile_data();
    void decodeTreeFile_headDoesNotFit_raisesNamingFile();
    void decodeTreeFile_nodeBlockLength_data();
    void decodeTreeFile_nodeBlockLength();
    void load_missingFile_leavesTree_data();
    void load_missingFile_leavesTree();
    void loadTreeFile_damagedFile_raisesAndLeavesTree();
    void saveTreeFile_replacesFileWithExactBytes();
    void saveTreeText_writesTextAloneAndReadsBack();
    void normalizeTags_data();
    void normalizeTags();
    void addTagNodesToFile_matchesHandBuiltBytes_data();
    void addTagNodesToFile_matchesHandBuiltBytes();
};

void TstTreeFile::encodeTreeFile_matchesHandBuiltBytes_data() {
    QTest::addColumn<Tree>("tree");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("three nodes: head 10, 22, 15") << Tree{node("a", 1, -1, {node("b", 3, -1)}), node("c", 3, 7)}
                                                  << hex("0a000000 16000000 0f000000"
                                                         "61 0d0a 09 62 0d0a 63 0d0a"
                                                         "01 ffffffff  03 ffffffff  03 07000000");
    QTest::newRow("empty tree: 12 bytes 0, 12, 0") << Tree{} << hex("00000000 0c000000 00000000");
    QTest::newRow("article list at positions 0 and 35") << Tree{node("报告", 2, 0), node("notes", 2, 35)}
                                                        << hex("0d000000 19000000 0a000000"
                                                               "b1a8 b8e6 0d0a 6e6f746573 0d0a"
                                                               "02 00000000  02 23000000");
    QTest::newRow("image 300 keeps its low byte 44") << Tree{node("x", 300, 1)}
                                                     << hex("03000000 0f000000 05000000"
                                                            "78 0d0a"
                                                            "2c 01000000");
    QTest::newRow("Chinese in GBK, the length counts bytes")
        << Tree{node("标签分类", 1, -1, {node("科研", 3, -1, {node("实验数据", 3, 12345678)})})}
        << hex("1d000000 29000000 0f000000"
               "b1ea c7a9 b7d6 c0e0 0d0a"
               "09 bfc6 d1d0 0d0a"
               "09 09 cab5 d1e9 cafd bedd 0d0a"
               "01 ffffffff  03 ffffffff  03 4e61bc00");
    QTest::newRow("a character GBK lacks becomes ?") << Tree{node(QStringLiteral("aก科"), 3, -1)}
                                                     << hex("06000000 12000000 05000000"
                                                            "61 3f bfc6 0d0a"
                                                            "03 ffffffff");
    QTest::newRow("several levels back up in one step")
        << Tree{node("a", 1, 0, {node("b", 1, 1, {node("c", 1, 2, {node("d", 3, 3)})})}), node("e", 3, 4)}
        << hex("15000000 21000000 19000000"
               "61 0d0a  09 62 0d0a  0909 63 0d0a  090909 64 0d0a  65 0d0a"
               "01 00000000  01 01000000  01 02000000  03 03000000  03 04000000");
    QTest::newRow("extreme states and image bytes")
        << Tree{node("m", 255, std::numeric_limits<qint32>::min()), node("n", 0, std::numeric_limits<qint32>::max())}
        << hex("06000000 12000000 0a000000"
               "6d 0d0a 6e 0d0a"
               "ff 00000080  00 ffffff7f");
}

void TstTreeFile::encodeTreeFile_matchesHandBuiltBytes() {
    QFETCH(Tree, tree);
    QFETCH(QByteArray, bytes);
    QCOMPARE(EncodeTreeFile(tree).toHex(' '), bytes.toHex(' '));
}

void TstTreeFile::decodeTreeFile_handBuiltBytes_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Tree>("tree");

    QTest::newRow("three nodes") << hex("0a000000 16000000 0f000000"
                                        "61 0d0a 09 62 0d0a 63 0d0a"
                                        "01 ffffffff  03 ffffffff  03 07000000")
                                 << Tree{node("a", 1, -1, {node("b", 3, -1)}), node("c", 3, 7)};
    QTest::newRow("empty tree") << hex("00000000 0c000000 00000000") << Tree{};
    QTest::newRow("image byte 300 reads as 44") << hex("03000000 0f000000 05000000"
                                                       "78 0d0a"
                                                       "2c 01000000")
                                                << Tree{node("x", 44, 1)};
    QTest::newRow("image byte is unsigned, state is signed")
        << hex("06000000 12000000 0a000000"
               "6d 0d0a 6e 0d0a"
               "ff 00000080  80 feffffff")
        << Tree{node("m", 255, std::numeric_limits<qint32>::min()), node("n", 128, -2)};
    QTest::newRow("Chinese in GBK") << hex("11000000 1d000000 0a000000"
                                           "b1ea c7a9 b7d6 c0e0 0d0a"
                                           "09 bfc6 d1d0 0d0a"
                                           "01 ffffffff  03 05000000")
                                    << Tree{node("标签分类", 1, -1, {node("科研", 3, 5)})};
    QTest::newRow("node block where the head says, not right after the text") << hex("03000000 13000000 05000000"
                                                                                     "78 0d0a"
                                                                                     "aa bb cc dd"
                                                                                     "03 09000000")
                                                                              << Tree{node("x", 3, 9)};
    QTest::newRow("text of spaces instead of TABs") << hex("0c000000 18000000 0f000000"
                                                           "61 0d0a 20 62 0d0a 20 20 63 0d0a"
                                                           "01 00000000  01 01000000  03 02000000")
                                                    << Tree{node("a", 1, 0, {node("b", 1, 1, {node("c", 3, 2)})})};
}

void TstTreeFile::decodeTreeFile_handBuiltBytes() {
    QFETCH(QByteArray, bytes);
    QFETCH(Tree, tree);
    QCOMPARE(describe(DecodeTreeFile(bytes, QStringLiteral("t.dat"))), describe(tree));
}

void TstTreeFile::decodeTreeText_structure_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("outline");

    QTest::newRow("TABs") << QByteArray("a\r\n\tb\r\n\t\tc\r\n\td\r\ne\r\n") << QStringLiteral("a|>b|>>c|>d|e");
    QTest::newRow("spaces give the same structure")
        << QByteArray("a\r\n b\r\n  c\r\n d\r\ne\r\n") << QStringLiteral("a|>b|>>c|>d|e");
    QTest::newRow("TABs and spaces mixed, each one level")
        << QByteArray("a\r\n\tb\r\n \tc\r\n\t d\r\n") << QStringLiteral("a|>b|>>c|>>d");
    QTest::newRow("back up several levels at once")
        << QByteArray("a\r\n\tb\r\n\t\tc\r\n\t\t\td\r\ne\r\n\tf\r\n\t\tg\r\n\t\t\th\r\n\ti\r\n")
        << QStringLiteral("a|>b|>>c|>>>d|e|>f|>>g|>>>h|>i");
    QTest::newRow("back up to a middle level")
        << QByteArray("a\r\n\tb\r\n\t\tc\r\n\t\t\td\r\n\t\te\r\n") << QStringLiteral("a|>b|>>c|>>>d|>>e");
    QTest::newRow("an indented first line is a top-level node")
        << QByteArray("\t\ta\r\nb\r\n\tc\r\n") << QStringLiteral("a|b|>c");
    QTest::newRow("no line end after the last line") << QByteArray("a\r\n\tb") << QStringLiteral("a|>b");
    QTest::newRow("LF line ends") << QByteArray("a\n\tb\nc\n") << QStringLiteral("a|>b|c");
    QTest::newRow("spaces inside a text stay") << QByteArray("a b \r\n\tc  d\r\n") << QStringLiteral("a b |>c  d");
    QTest::newRow("empty text") << QByteArray() << QString();
    QTest::newRow("GBK without a mark") << hex("bfc6 d1d0 0d0a 09 cab5 d1e9 0d0a") << QStringLiteral("科研|>实验");
    QTest::newRow("UTF-8 byte-order mark")
        << hex("efbbbf e7a791 e7a094 0d0a 09 e5ae9e e9aa8c 0d0a") << QStringLiteral("科研|>实验");
    QTest::newRow("UTF-16LE byte-order mark")
        << hex("fffe d179 1478 0d00 0a00 0900 9e5b 8c9a 0d00 0a00") << QStringLiteral("科研|>实验");
    QTest::newRow("UTF-16BE byte-order mark")
        << hex("feff 79d1 7814 000d 000a 0009 5b9e 9a8c 000d 000a") << QStringLiteral("科研|>实验");
}

void TstTreeFile::decodeTreeText_structure() {
    QFETCH(QByteArray, text);
    QFETCH(QString, outline);
    const Tree tree = DecodeTreeText(text, QStringLiteral("t.txt"));
    QCOMPARE(::outline(tree), outline);
    // A tree text carries no pictures or states: every node starts blank.
    QVERIFY(allBlank(tree));
}

void TstTreeFile::decodeTreeText_lineTooDeep_raisesNamingFile_data() {
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("two TABs below a top-level line") << QByteArray("a\r\n\t\tb\r\n");
    QTest::newRow("two spaces below a top-level line") << QByteArray("a\r\n  b\r\n");
    QTest::newRow("three levels below a child") << QByteArray("a\r\n\tb\r\n\t\t\t\tc\r\n");
    QTest::newRow("after backing up") << QByteArray("a\r\n\tb\r\n\t\tc\r\nd\r\n\t\te\r\n");
    QTest::newRow("indented first line counts as top level") << QByteArray("\ta\r\n\t\t\tb\r\n");
}

void TstTreeFile::decodeTreeText_lineTooDeep_raisesNamingFile() {
    QFETCH(QByteArray, text);
    const QString name = QStringLiteral("/some/where/TagTVItems.dat");
    try {
        DecodeTreeText(text, name);
        QFAIL("a line two levels deeper was accepted");
    } catch (const VelmoraError& error) {
        QCOMPARE(error.file(), name);
        QVERIFY2(error.message().contains(name), qPrintable(error.message()));
    }
    // The same text inside a tree file fails the same way.
    const qint32 size = qint32(text.size());
    try {
        DecodeTreeFile(QByteArray(le32(size) + le32(size + 12) + le32(0) + text), name);
        QFAIL("a tree file with a line two levels deeper was accepted");
    } catch (const VelmoraError& error) {
        QCOMPARE(error.file(), name);
    }
}

void TstTreeFile::decodeTreeFile_headDoesNotFit_raisesNamingFile_data() {
    QTest::addColumn<QByteArray>("bytes");

    // Every row is the three-node file of 37 bytes (or a cut of it) with one lie in its head.
    const QByteArray entries = hex("01 ffffffff  03 ffffffff  03 07000000");
    QTest::newRow("no bytes") << QByteArray();
    QTest::newRow("11 bytes") << hex("0a000000 16000000 0f0000");
    QTest::newRow("text length one past the end") << threeNodeFile(hex("1a000000 16000000 00000000"), entries.left(15));
    QTest::newRow("text length far past the end") << threeNodeFile(hex("ffffff7f 16000000 0f000000"), entries);
    QTest::newRow("negative text length") << threeNodeFile(hex("ffffffff 16000000 0f000000"), entries);
    QTest::newRow("most negative text length") << threeNodeFile(hex("00000080 16000000 0f000000"), entries);
    QTest::newRow("text but the file ends at the head") << hex("0a000000 16000000 0f000000");
    QTest::newRow("node block one byte too long") << threeNodeFile(hex("0a000000 16000000 10000000"), entries);
    QTest::newRow("node block starting past the end") << threeNodeFile(hex("0a000000 26000000 00000000"), entries);
    QTest::newRow("node block far past the end") << threeNodeFile(hex("0a000000 ffffff7f 0f000000"), entries);
    QTest::newRow("node block offset and length overflowing together")
        << threeNodeFile(hex("0a000000 16000000 ffffff7f"), entries);
    QTest::newRow("negative node block offset") << threeNodeFile(hex("0a000000 fbffffff 05000000"), entries);
    QTest::newRow("negative node block length") << threeNodeFile(hex("0a000000 16000000 fbffffff"), entries);
    QTest::newRow("node block cut off by the end of the file")
        << threeNodeFile(hex("0a000000 16000000 0f000000"), entries.left(14));
}

void TstTreeFile::decodeTreeFile_headDoesNotFit_raisesNamingFile() {
    QFETCH(QByteArray, bytes);
    const QString name = QStringLiteral("/some/where/wzTVItems.dat");
    try {
        const Tree tree = DecodeTreeFile(bytes, name);
        QFAIL(qPrintable(QStringLiteral("read a lying head as: ") + describe(tree)));
    } catch (const VelmoraError& error) {
        QCOMPARE(error.file(), name);
        QVERIFY2(error.message().contains(name), qPrintable(error.message()));
    }
}

void TstTreeFile::decodeTreeFile_nodeBlockLength_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("nodes");

    const QByteArray entries = hex("01 11000000  03 22000000  04 33000000  05 44000000");
    QTest::newRow("no node block") << threeNodeFile(hex("0a000000 16000000 00000000"), {})
                                   << QStringLiteral("a [0 -1]|>b [0 -1]|c [0 -1]");
    QTest::newRow("one entry for three nodes") << threeNodeFile(hex("0a000000 16000000 05000000"), entries.left(5))
                                               << QStringLiteral("a [1 17]|>b [0 -1]|c [0 -1]");
    QTest::newRow("a partial entry is not read") << threeNodeFile(hex("0a000000 16000000 0c000000"), entries.left(12))
                                                 << QStringLiteral("a [1 17]|>b [3 34]|c [0 -1]");
    QTest::newRow("the head's length holds even when the file goes on")
        << threeNodeFile(hex("0a000000 16000000 0a000000"), entries.left(15))
        << QStringLiteral("a [1 17]|>b [3 34]|c [0 -1]");
    QTest::newRow("an entry too many is ignored")
        << threeNodeFile(hex("0a000000 16000000 14000000"), entries) << QStringLiteral("a [1 17]|>b [3 34]|c [4 51]");
}

void TstTreeFile::decodeTreeFile_nodeBlockLength() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, nodes);
    QCOMPARE(describe(DecodeTreeFile(bytes, QStringLiteral("t.dat"))), nodes);
}

void TstTreeFile::load_missingFile_leavesTree_data() {
    QTest::addColumn<bool>("treeFile");
    QTest::newRow("LoadTreeFile") << true;
    QTest::newRow("LoadTreeText") << false;
}

void TstTreeFile::load_missingFile_leavesTree() {
    QFETCH(bool, treeFile);
    TempAppData dir;
    const Tree designed{node("标签分类", 1, -1)};
    Tree tree = designed;
    const QString path = dir.file(QStringLiteral("TagTVItems.dat"));
    QVERIFY(!(treeFile ? LoadTreeFile(path, tree) : LoadTreeText(path, tree)));
    QCOMPARE(describe(tree), describe(designed));
    QVERIFY(!QFile::exists(path));
}

void TstTreeFile::loadTreeFile_damagedFile_raisesAndLeavesTree() {
    TempAppData dir;
    const QString path = dir.file(QStringLiteral("TagTVItems.dat"));
    WriteBytes(path, hex("0a000000 16000000 0f000000 61 0d0a 09 09 62 0d0a 63 0d0a"));
    const Tree designed{node("标签分类", 1, -1)};
    Tree tree = designed;
    try {
        LoadTreeFile(path, tree);
        QFAIL("a damaged file was loaded");
    } catch (const VelmoraError& error) {
        QCOMPARE(error.file(), path);
    }
    QCOMPARE(describe(tree), describe(designed));

    WriteBytes(path, hex("61 0d0a 09 09 62 0d0a"));
    QVERIFY_THROWS_EXCEPTION(VelmoraError, LoadTreeText(path, tree));
    QCOMPARE(describe(tree), describe(designed));
}

void TstTreeFile::saveTreeFile_replacesFileWithExactBytes() {
    TempAppData dir;
    const QString path = dir.file(QStringLiteral("wzTVItems.dat"));
    // A longer old file: nothing of it may survive behind the new bytes.
    WriteBytes(path, QByteArray(200, 'z'));
    SaveTreeFile(path, Tree{node("a", 1, -1, {node("b", 3, -1)}), node("c", 3, 7)});
    QCOMPARE(ReadBytes(path).toHex(' '), hex("0a000000 16000000 0f000000"
                                             "61 0d0a 09 62 0d0a 63 0d0a"
                                             "01 ffffffff  03 ffffffff  03 07000000")
                                             .toHex(' '));

    Tree loaded;
    QVERIFY(LoadTreeFile(path, loaded));
    QCOMPARE(describe(loaded), QStringLiteral("a [1 -1]|>b [3 -1]|c [3 7]"));

    SaveTreeFile(path, Tree{});
    QCOMPARE(ReadBytes(path).toHex(' '), hex("00000000 0c000000 00000000").toHex(' '));
    loaded = Tree{node("left over")};
    QVERIFY(LoadTreeFile(path, loaded));
    QVERIFY(loaded.empty());
}

void TstTreeFile::saveTreeText_writesTextAloneAndReadsBack() {
    TempAppData dir;
    const QString path = dir.file(QStringLiteral("FdTVItems.dat"));
    WriteBytes(path, QByteArray(100, 'z'));
    SaveTreeText(path, Tree{node("/home/用户", 33, 5, {node("文档", 33, 6)}), node("/mnt", 33, 7)});
    QCOMPARE(ReadBytes(path).toHex(' '), hex("2f686f6d652f d3c3 bba7 0d0a 09 cec4 b5b5 0d0a 2f6d6e74 0d0a").toHex(' '));

    Tree loaded;
    QVERIFY(LoadTreeText(path, loaded));
    QCOMPARE(describe(loaded), QStringLiteral("/home/用户 [0 -1]|>文档 [0 -1]|/mnt [0 -1]"));
}

void TstTreeFile::normalizeTags_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("tags");
    QTest::newRow("empty") << ""
                           << "" << QStringList{};
    QTest::newRow("spaces only") << "   "
                                 << "" << QStringList{};
    QTest::newRow("one tag as typed") << "科研"
                                      << "科研" << QStringList{"科研"};
    QTest::newRow("one tag and a space") << "科研 "
                                         << "科研 " << QStringList{"科研"};
    QTest::newRow("runs of spaces, pinyin order") << "work  笔记   Alpha"
                                                  << "Alpha 笔记 work " << QStringList{"Alpha", "笔记", "work"};
    QTest::newRow("a leading space makes no empty tag") << " b a"
                                                        << "a b " << QStringList{"a", "b"};
}

void TstTreeFile::normalizeTags() {
    QFETCH(QString, typed);
    QFETCH(QString, text);
    QFETCH(QStringList, tags);
    const NormalTags normal = NormalizeTags(typed);
    QCOMPARE(normal.text, text);
    QCOMPARE(normal.tags, tags);
}

void TstTreeFile::addTagNodesToFile_matchesHandBuiltBytes_data() {
    QTest::addColumn<QByteArray>("before"); // empty: no file
    QTest::addColumn<QStringList>("tags");
    QTest::addColumn<QByteArray>("after"); // empty: no file; equal to before: untouched
    const QByteArray nested = hex("11000000 1d000000 0a000000"
                                  "b1ea c7a9 b7d6 c0e0 0d0a  09 bfc6 d1d0 0d0a"
                                  "01 ffffffff  03 ffffffff");
    QTest::newRow("no file: the group node stays first")
        << QByteArray() << QStringList{"科研", "work"}
        << hex("16000000 22000000 0f000000"
               "b1ea c7a9 b7d6 c0e0 0d0a  bfc6 d1d0 0d0a  776f726b 0d0a"
               "01 ffffffff  03 ffffffff  03 ffffffff");
    QTest::newRow("known at any depth, case ignored; new once") << nested << QStringList{"科研", "Work", "work"}
                                                                << hex("17000000 23000000 0f000000"
                                                                       "b1ea c7a9 b7d6 c0e0 0d0a  09 bfc6 d1d0 0d0a"
                                                                       "576f726b 0d0a"
                                                                       "01 ffffffff  03 ffffffff  03 ffffffff");
    QTest::newRow("nothing new leaves the file") << nested << QStringList{"科研"} << nested;
    QTest::newRow("nothing new makes no file") << QByteArray() << QStringList{} << QByteArray();
    const QByteArray greek = hex("05000000 11000000 05000000  a6b8 6d 0d0a  03 ffffffff");
    QTest::newRow("Greek and Latin letters compared ignoring case") << greek << QStringList{"ωM"} << greek;
    QTest::newRow("a damaged file raises and is kept")
        << QByteArray("damaged") << QStringList{"a"} << QByteArray("damaged");
}

void TstTreeFile::addTagNodesToFile_matchesHandBuiltBytes() {
    QFETCH(QByteArray, before);
    QFETCH(QStringList, tags);
    QFETCH(QByteArray, after);
    TempAppData appData;
    const QString path = appData.file(QStringLiteral("TagTVItems.dat"));
    if (!before.isEmpty()) {
        WriteBytes(path, before);
    }
    if (before.size() < 12 && !before.isEmpty()) {
        QVERIFY_THROWS_EXCEPTION(VelmoraError, AddTagNodesToFile(path, tags));
    } else {
        QCOMPARE(AddTagNodesToFile(path, tags), after != before);
    }
    QCOMPARE(ReadBytes(path).toHex(' '), after.toHex(' '));
    QCOMPARE(QFile::exists(path), !after.isEmpty());
}

QTEST_GUILESS_MAIN(TstTreeFile)

#include "tst_treefile.moc"
