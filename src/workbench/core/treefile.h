#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

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

// -- the tag tree --
// The window's tags panel and velmoradb both give documents tags through these, so that a tag reaches the tag
// tree file as the same bytes whichever of them added it.

constexpr int kTagGroupImage = 1;
constexpr int kTagLeafImage = 3;

// The tree the window shows before any tag tree file was saved: the group node "标签分类".
Tree DefaultTagTree();
// Whether a node at any depth has this text, ignoring letter case.
bool TagInTree(const Tree& tree, const QString& tag);

// A tags text in the form documents store it, and the tags it holds.
struct NormalTags {
    QString text;
    QStringList tags;
};
// A text without a space is kept as typed. Otherwise runs of spaces become one, the tags are sorted by their
// pinyin initials and each is followed by one space. Empty pieces are dropped: a leading space would otherwise
// make an empty tag and an empty tree node.
NormalTags NormalizeTags(const QString& typed);

// Each tag the tree does not know becomes a leaf node at the end of the top level (image 3, state -1), in the
// order given. Returns whether a node was added.
bool AddTagNodes(Tree& tree, const QStringList& tags);
// The same on the tag tree file at `path`, which is written only when a node was added. With no file yet it
// starts from DefaultTagTree(), as the window would, so the group node is kept. A damaged file raises an error
// and is left as it is.
bool AddTagNodesToFile(const QString& path, const QStringList& tags);

} // namespace velmora
