#include "contextmenus.h"

#include "application.h"
#include "controls.h"
#include "workbench/navigation/treeview.h"

#include <QAction>
#include <QMenu>
#include <QTreeWidget>

namespace velmora {

void AttachContextMenu(QTreeWidget* view, QMenu* menu, bool needsNode) {
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(view, &QWidget::customContextMenuRequested, menu, [view, menu, needsNode](const QPoint& at) {
        QTreeWidgetItem* node = view->itemAt(at);
        if (node == nullptr) {
            view->clearSelection();
            if (needsNode) {
                return;
            }
        } else if (view->currentItem() != node || !node->isSelected()) {
            view->setCurrentItem(node);
        }
        // A popup rather than a nested event loop: the handler returns at once, as a click's handler does.
        menu->popup(view->viewport()->mapToGlobal(at));
    });
}

QMenu* MakeArticleMenu(QTreeWidget* list, ArticleCommands commands) {
    auto* menu = Named(new QMenu(list), QStringLiteral("pmArticle"));
    Describe(menu, QStringLiteral("文章"));
    const QList<std::tuple<const char*, const char*, std::function<void(qint64)>>> items{
        {"ItemOpenArticle", "打开", std::move(commands.open)},
        {"ItemArticleInfo", "文档信息", std::move(commands.information)},
        {"ItemLocateArticle", "定位", std::move(commands.locate)},
        {nullptr, nullptr, {}},
        {"ItemRemoveArticle", "从资料库中移除", std::move(commands.remove)},
    };
    for (const auto& [name, caption, command] : items) {
        if (name == nullptr) {
            menu->addSeparator();
            continue;
        }
        QAction* item = NamedAction(menu, QString::fromLatin1(name), QString::fromUtf8(caption));
        const std::function<void(qint64)> run = command;
        ConnectReported(item, &QAction::triggered, menu, [list, run] {
            if (QTreeWidgetItem* article = list->currentItem()) {
                run(ItemState(article));
            }
        });
    }
    AttachContextMenu(list, menu, true);
    return menu;
}

} // namespace velmora
