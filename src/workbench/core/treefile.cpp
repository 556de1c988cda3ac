#include "workbench/core/treefile.h"

#include "common/errors.h"
#include "common/pinyin.h"
#include "common/readfile.h"
#include "common/savefile.h"
#include "common/textcodec.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>

namespace velmora {

namespace {

constexpr int kHeadSize = 12;
constexpr int kEntrySize = 5;

template <typename Visit>
void forEachNode(const Tree& tree, int depth, Visit& visit) {
    for (const TreeNode& node : tree) {
        visit(node, depth);
        forEachNode(node.children, depth + 1, visit);
    }
}

template <typename Visit>
void forEachNode(Tree& tree, Visit& visit) {
    for (TreeNode& node : tree) {
        visit(node);
        forEachNode(node.children, visit);
    }
}

} // namespace

int CountNodes(const Tree& tree) {
    int count = 0;
    auto visit = [&count](const TreeNode&, int) { ++count; };
    forEachNode(tree, 0, visit);
    return count;
}

void SetImageEverywhere(Tree& tree, int image) {
    auto visit = [image](TreeNode& node) { node.image = image; };
    forEachNode(tree, visit);
}

QByteArray EncodeTreeText(const Tree& tree) {
    QString text;
    auto visit = [&text](const TreeNode& node, int depth) {
        text += QString(depth, u'\t');
        text += node.text;
        text += QStringLiteral("\r\n");
    };
    forEachNode(tree, 0, visit);
    return EncodeAnsi(text);
}

Tree DecodeTreeText(QByteArrayView bytes, const QString& fileName) {
    Tree tree;
    // The path from the root to the node read last, so a line can find its parent at any depth.
    std::vector<Tree*> levels;
    int lineNumber = 0;
    for (const QString& line : SplitLines(DecodeTextBytes(bytes))) {
        ++lineNumber;
        qsizetype depth = 0;
        while (depth < line.size() && (line.at(depth) == u'\t' || line.at(depth) == u' ')) {
            ++depth;
        }
        const QString text = line.mid(depth);
        if (levels.empty()) {
            depth = 0;
        } else if (depth > qsizetype(levels.size())) {
            throw VelmoraError(QStringLiteral("%1 第 %2 行的层级 %3 比上一行深了不止一级: %4")
                                   .arg(fileName)
                                   .arg(lineNumber)
                                   .arg(depth)
                                   .arg(text),
                               fileName);
        }
        levels.resize(size_t(depth));
        Tree& siblings = levels.empty() ? tree : levels.back()->back().children;
        siblings.push_back(TreeNode{text, 0, -1, {}});
        levels.push_back(&siblings);
    }
    return tree;
}

QByteArray EncodeTreeFile(const Tree& tree) {
    const QByteArray text = EncodeTreeText(tree);
    const int count = CountNodes(tree);
    QByteArray image(kHeadSize, Qt::Uninitialized);
    qToLittleEndian<qint32>(qint32(text.size()), image.data());
    qToLittleEndian<qint32>(qint32(text.size() + kHeadSize), image.data() + 4);
    qToLittleEndian<qint32>(qint32(count * kEntrySize), image.data() + 8);
    image += text;
    image.reserve(image.size() + count * kEntrySize);
    auto visit = [&image](const TreeNode& node, int) {
        char entry[kEntrySize];
        entry[0] = char(node.image & 0xff);
        qToLittleEndian<qint32>(node.state, entry + 1);
        image.append(entry, kEntrySize);
    };
    forEachNode(tree, 0, visit);
    return image;
}

Tree DecodeTreeFile(QByteArrayView bytes, const QString& fileName) {
    auto damaged = [&fileName](const QString& why) {
        return VelmoraError(QStringLiteral("树文件 %1 已损坏: %2").arg(fileName, why), fileName);
    };
    if (bytes.size() < kHeadSize) {
        throw damaged(QStringLiteral("文件只有 %1 字节，不足 12 字节的文件头").arg(bytes.size()));
    }
    const qint64 textSize = qFromLittleEndian<qint32>(bytes.data());
    const qint64 blockOffset = qFromLittleEndian<qint32>(bytes.data() + 4);
    const qint64 blockSize = qFromLittleEndian<qint32>(bytes.data() + 8);
    if (textSize < 0 || textSize > bytes.size() - kHeadSize) {
        throw damaged(QStringLiteral("文本长度 %1 超出文件大小 %2").arg(textSize).arg(bytes.size()));
    }
    if (blockOffset < kHeadSize || blockSize < 0 || blockOffset > bytes.size() ||
        blockSize > bytes.size() - blockOffset) {
        throw damaged(QStringLiteral("节点块 (位置 %1, 长度 %2) 超出文件大小 %3")
                          .arg(blockOffset)
                          .arg(blockSize)
                          .arg(bytes.size()));
    }
    Tree tree = DecodeTreeText(bytes.sliced(kHeadSize, textSize), fileName);
    const QByteArrayView block = bytes.sliced(blockOffset, blockSize);
    qsizetype next = 0;
    auto visit = [&](TreeNode& node) {
        if (next + kEntrySize <= block.size()) {
            node.image = quint8(block[next]);
            node.state = qFromLittleEndian<qint32>(block.data() + next + 1);
        } else {
            node.image = 0;
            node.state = -1;
        }
        next += kEntrySize;
    };
    forEachNode(tree, visit);
    return tree;
}

void SaveTreeFile(const QString& path, const Tree& tree) {
    WriteFileAtomically(path, EncodeTreeFile(tree));
}

void SaveTreeText(const QString& path, const Tree& tree) {
    WriteFileAtomically(path, EncodeTreeText(tree));
}

bool LoadTreeFile(const QString& path, Tree& tree) {
    if (!QFile::exists(path)) {
        return false;
    }
    tree = DecodeTreeFile(ReadWholeFile(path), path);
    return true;
}

bool LoadTreeText(const QString& path, Tree& tree) {
    if (!QFile::exists(path)) {
        return false;
    }
    tree = DecodeTreeText(ReadWholeFile(path), path);
    return true;
}

Tree DefaultTagTree() {
    return {TreeNode{QStringLiteral("标签分类"), kTagGroupImage, -1, {}}};
}

bool TagInTree(const Tree& tree, const QString& tag) {
    return std::any_of(tree.begin(), tree.end(), [&tag](const TreeNode& node) {
        return node.text.compare(tag, Qt::CaseInsensitive) == 0 || TagInTree(node.children, tag);
    });
}

NormalTags NormalizeTags(const QString& typed) {
    NormalTags normal;
    if (typed.trimmed().isEmpty()) {
        return normal;
    }
    if (!typed.contains(u' ')) {
        normal.text = typed;
        normal.tags = {typed.trimmed()};
        return normal;
    }
    for (const QString& piece : typed.split(u' ', Qt::SkipEmptyParts)) {
        const QString tag = piece.trimmed();
        if (!tag.isEmpty()) {
            normal.tags.append(tag);
        }
    }
    SortListByPinyin(normal.tags, true, false);
    for (const QString& tag : normal.tags) {
        normal.text += tag;
        normal.text += u' ';
    }
    return normal;
}

bool AddTagNodes(Tree& tree, const QStringList& tags) {
    bool added = false;
    for (const QString& tag : tags) {
        if (!tag.isEmpty() && !TagInTree(tree, tag)) {
            tree.push_back(TreeNode{tag, kTagLeafImage, -1, {}});
            added = true;
        }
    }
    return added;
}

bool AddTagNodesToFile(const QString& path, const QStringList& tags) {
    Tree tree;
    if (!LoadTreeFile(path, tree)) {
        tree = DefaultTagTree();
    }
    if (!AddTagNodes(tree, tags)) {
        return false;
    }
    SaveTreeFile(path, tree);
    return true;
}

} // namespace velmora
