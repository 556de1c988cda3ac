#pragma once

#include "workbench/core/treefile.h"
#include "workbench/navigation/treeview.h"

#include <QStringList>
#include <QTreeWidget>

#include <functional>

namespace velmora::test {

// Trees written and compared as one line: nodes in pre-order, each led by one '-' per level of depth, so
// "r -a --a1 -b s" is r( a( a1 ) b ) s. Names hold no spaces.

// The tree a shape describes, each group with the group picture (1) and each leaf with the leaf picture (3), as
// the program draws a new tree.
inline Tree TreeOf(const QString& shape) {
    QByteArray text("\xEF\xBB\xBF");
    for (const QString& node : shape.split(u' ', Qt::SkipEmptyParts)) {
        qsizetype depth = 0;
        while (depth < node.size() && node.at(depth) == u'-') {
            ++depth;
        }
        text += QByteArray(depth, '\t') + node.mid(depth).toUtf8() + "\r\n";
    }
    Tree tree = DecodeTreeText(text);
    std::function<void(Tree&)> pictures = [&pictures](Tree& nodes) {
        for (TreeNode& node : nodes) {
            node.image = node.children.empty() ? 3 : 1;
            pictures(node.children);
        }
    };
    pictures(tree);
    return tree;
}

// The shape of the tree a view shows.
inline QString TreeShape(const QTreeWidget* view) {
    QStringList nodes;
    for (const QTreeWidgetItem* item : PreOrder(view)) {
        nodes.append(QString(ItemDepth(item), u'-') + item->text(0));
    }
    return nodes.join(u' ');
}

} // namespace velmora::test
