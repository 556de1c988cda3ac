#include "foldertree.h"

#include "controls.h"
#include "imagelist.h"
#include "treefile.h"
#include "treeview.h"
#include "workbench.h"

#include <QAction>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace velmora {

namespace {

constexpr int kFolderImage = 33;

} // namespace

FolderTree::FolderTree(Workbench& bench, QWidget* parent) : QObject(parent), m_bench(bench) {
    setObjectName(QStringLiteral("folderTree"));
    m_page = new QWidget(parent);
    auto* layout = new QVBoxLayout(m_page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    fdToolbar = Named(new QToolBar(m_page), QStringLiteral("fdToolbar"));
    fdToolbar->setIconSize(QSize(16, 16));
    Describe(fdToolbar, QStringLiteral("文件夹"));
    const QList<std::pair<const char*, const char*>> buttons{
        {"fdNew", "新建文件夹"},
        {"btnSubNew", "在选定文件夹下新建子文件夹"},
        {"btnAddFolder", "加入已有文件夹（不移动不复制）"},
        {"btnDelFolder", "移除选定文件夹（不删除文件夹）"},
        {"btnMoveAll", "将当前文章列表里的所有文档移动到选定文件夹里"},
    };
    for (const auto& [name, hint] : buttons) {
        QAction* button = fdToolbar->addAction(AppImage(kFolderImage), QString::fromUtf8(hint));
        button->setObjectName(QString::fromLatin1(name));
        if (QWidget* shown = fdToolbar->widgetForAction(button)) {
            shown->setObjectName(QString::fromLatin1(name) + QStringLiteral("Button"));
            Describe(shown, button->text());
            MarkNotBuilt(shown);
        }
        MarkNotBuilt(button);
    }
    fdTreeView = Named(new QTreeWidget(m_page), QStringLiteral("fdTreeView"));
    Describe(fdTreeView, QStringLiteral("文件夹"));
    ConfigureTree(fdTreeView, QColor(Qt::white));
    layout->addWidget(fdToolbar);
    layout->addWidget(fdTreeView, 1);
}

QWidget* FolderTree::page() const {
    return m_page;
}

void FolderTree::load() {
    Tree folders;
    if (LoadTreeText(m_bench.dataFile(QStringLiteral("FdTVItems.dat")), folders)) {
        SetImageEverywhere(folders, kFolderImage);
        FillTreeWidget(fdTreeView, folders);
    }
}

} // namespace velmora
