#pragma once

#include <QtGlobal>

#include <functional>

class QMenu;
class QTreeWidget;

namespace velmora {

// Right-click (or the keyboard's menu key) on `view` pops `menu` up where it was asked for, after making the node
// there the selected one. On empty space the selection is cleared, so that no command acts on a node the user did
// not point at; with `needsNode` no menu shows there at all.
void AttachContextMenu(QTreeWidget* view, QMenu* menu, bool needsNode = false);

// What an article's menu does with the record position of the article.
struct ArticleCommands {
    std::function<void(qint64)> open;
    std::function<void(qint64)> information;
    std::function<void(qint64)> locate;
    std::function<void(qint64)> remove;
};

// The article list's menu (pmArticle): open, information, show in the file manager, remove from the library, each
// for the current article.
QMenu* MakeArticleMenu(QTreeWidget* list, ArticleCommands commands);

} // namespace velmora
