#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

namespace velmora {

// A node of one of the saved trees (tag tree, article list, folder tree), as far as the files are concerned.
struct TreeNode {
    QString text;
    int image = 0;
    qint32 state = -1;
    std::vector<TreeNode> children;

    friend bool operator==(const TreeNode&, const TreeNode&) = default;
};

using Tree = std::vector<TreeNode>;

int CountNodes(const Tree& tree);
void SetImageEverywhere(Tree& tree, int image);

// The tree text: one line per node in pre-order, a TAB per level before the text, CR LF after it, in GBK.
QByteArray EncodeTreeText(const Tree& tree);
// Reads a tree text (TABs or spaces as levels; a byte-order mark selects UTF-8 or UTF-16). A line more than one
// level deeper than the node before it raises an error naming `fileName`. Images are 0 and states -1.
Tree DecodeTreeText(QByteArrayView bytes, const QString& fileName = {});

// The tree file: a 12-byte head (text length T, T + 12, 5 × node count), the tree text, then per node in
// pre-order the low byte of its image and its state as a signed 32-bit integer, all little-endian.
QByteArray EncodeTreeFile(const Tree& tree);
// A head that does not fit the file raises an error naming `fileName`. Nodes beyond a short node block get
// image 0 and state -1.
Tree DecodeTreeFile(QByteArrayView bytes, const QString& fileName = {});

void SaveTreeFile(const QString& path, const Tree& tree);
void SaveTreeText(const QString& path, const Tree& tree);
// Nothing when the file does not exist.
bool LoadTreeFile(const QString& path, Tree& tree);
bool LoadTreeText(const QString& path, Tree& tree);

} // namespace velmora
