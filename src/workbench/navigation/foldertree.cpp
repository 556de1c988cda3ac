#include "foldertree.h"

#include "common/appfolder.h"
#include "common/prompts.h"
#include "common/textcodec.h"
#include "treeview.h"
#include "workbench/application.h"
#include "workbench/controls.h"
#include "workbench/core/folders.h"
#include "workbench/core/texts.h"
#include "workbench/core/treefile.h"
#include "workbench/dialogs/tnfform.h"
#include "workbench/imagelist.h"
#include "workbench/workbench.h"

#include <QAction>
#include <QDir>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <tuple>

namespace velmora {

namespace {

constexpr int kFolderImage = 33;
const QString kNoTarget = QStringLiteral("未指定目标文件夹");
const QString kFolderExists = QStringLiteral("文件夹已经存在");
const QString kFolderMissing = QStringLiteral("%1 不存在");

bool isInSubtreeOf(const QTreeWidgetItem* node, const QTreeWidgetItem* root) {
    for (const QTreeWidgetItem* at = node; at != nullptr; at = at->parent()) {
        if (at == root) {
            return true;
        }
    }
    return false;
}

void appendDescendants(const QTreeWidgetItem* node, QList<const QTreeWidgetItem*>& nodes) {
    for (int i = 0; i < node->childCount(); ++i) {
        nodes.append(node->child(i));
        appendDescendants(node->child(i), nodes);
    }
}

// The folder tree's view: the drags of its own nodes and of the article list's articles; what a drop does is the
// folder tree's.
class FolderTreeView final : public QTreeWidget {
public:
    FolderTreeView(FolderTree& owner, QWidget* parent) : QTreeWidget(parent), m_owner(owner) {
        setDragEnabled(true);
        setAcceptDrops(true);
        setDropIndicatorShown(true);
        setDragDropMode(QAbstractItemView::DragDrop);
        // The scrolling near the edges is our own, a line at a time, as in the tag tree.
        setAutoScroll(false);
    }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override { take(event); }
    void dragMoveEvent(QDragMoveEvent* event) override {
        if (take(event)) {
            ScrollNearEdges(this, event->position().toPoint().y());
        }
    }
    void dragLeaveEvent(QDragLeaveEvent* event) override {
        m_owner.fdTreeViewDragLeave();
        QTreeWidget::dragLeaveEvent(event);
    }
    void dropEvent(QDropEvent* event) override {
        QTreeWidgetItem* target = itemAt(event->position().toPoint());
        RunReported([&] { m_owner.fdTreeViewDragDrop(target); });
        // The move is ours: neither view may move or remove anything itself.
        event->setDropAction(Qt::IgnoreAction);
        event->accept();
    }

private:
    bool take(QDragMoveEvent* event) {
        if (!m_owner.fdTreeViewDragOver(event->source())) {
            event->ignore();
            return false;
        }
        event->setDropAction(Qt::CopyAction);
        event->accept();
        return true;
    }

    FolderTree& m_owner;
};

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
    const QList<std::tuple<QAction**, const char*, const char*, void (FolderTree::*)()>> buttons{
        {&fdNew, "fdNew", "新建文件夹", &FolderTree::fdNewClick},
        {&btnSubNew, "btnSubNew", "在选定文件夹下新建子文件夹", &FolderTree::btnSubNewClick},
        {&btnAddFolder, "btnAddFolder", "加入已有文件夹（不移动不复制）", &FolderTree::btnAddFolderClick},
        {&btnDelFolder, "btnDelFolder", "移除选定文件夹（不删除文件夹）", &FolderTree::btnDelFolderClick},
        {&btnMoveAll, "btnMoveAll", "将当前文章列表里的所有文档移动到选定文件夹里", &FolderTree::btnMoveAllClick},
    };
    for (const auto& [field, name, hint, handler] : buttons) {
        const QString objectName = QString::fromLatin1(name);
        QAction* button = fdToolbar->addAction(ToolbarImage(objectName), QString::fromUtf8(hint));
        button->setObjectName(objectName);
        button->setToolTip(button->text());
        button->setStatusTip(button->text());
        if (QWidget* shown = fdToolbar->widgetForAction(button)) {
            shown->setObjectName(objectName + QStringLiteral("Button"));
            Describe(shown, button->text());
        }
        ConnectReported(button, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
        *field = button;
    }
    fdTreeView = Named(new FolderTreeView(*this, m_page), QStringLiteral("fdTreeView"));
    Describe(fdTreeView, QStringLiteral("文件夹"));
    ConfigureTree(fdTreeView, QColor(Qt::white));
    ConnectReported(fdTreeView, &QTreeWidget::itemClicked, this,
                    [this](QTreeWidgetItem* node) { fdTreeViewClick(node, QGuiApplication::keyboardModifiers()); });
    OnEnterKey(fdTreeView,
               [this](QTreeWidgetItem* node) { fdTreeViewClick(node, QGuiApplication::keyboardModifiers()); });
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

void FolderTree::setArticleSource(QWidget* view, std::function<QList<qint64>(bool)> positions) {
    m_articleView = view;
    m_articlePositions = std::move(positions);
}

void FolderTree::setOpenDocuments(std::function<QStringList()> paths) {
    m_openDocuments = std::move(paths);
}

QString FolderTree::startFolder() {
    // The program's own folder is a build folder that is deleted routinely, or a system folder no one may write:
    // folders of documents start where the user keeps documents instead.
    return PickerStartFolder({});
}

QString FolderTree::listFile() const {
    return m_bench.dataFile(QStringLiteral("fdlist.dat"));
}

void FolderTree::saveTree() {
    SaveTreeText(m_bench.dataFile(QStringLiteral("FdTVItems.dat")), TreeFromWidget(fdTreeView));
}

bool FolderTree::FolderInTree(const QString& name) const {
    return TagInTree(TreeFromWidget(fdTreeView), name);
}

QString FolderTree::GetFolderPath(const QString& name) const {
    return velmora::GetFolderPath(listFile(), name);
}

void FolderTree::UpdateFdList(const QString& path, bool add) {
    velmora::UpdateFdList(listFile(), path, add);
}

QTreeWidgetItem* FolderTree::selectedFolder() const {
    QTreeWidgetItem* node = fdTreeView->currentItem();
    return node != nullptr && node->isSelected() ? node : nullptr;
}

bool FolderTree::runDialog(TnfForm& dialog) {
    return dialog.exec() == QDialog::Accepted;
}

void FolderTree::addNode(QTreeWidgetItem* node, QTreeWidgetItem* parent) {
    if (parent != nullptr) {
        parent->addChild(node);
        parent->setExpanded(true);
    } else {
        fdTreeView->addTopLevelItem(node);
    }
    fdTreeView->setCurrentItem(node);
}

void FolderTree::fdNewClick() {
    TnfForm dialog(startFolder(), m_page);
    dialog.dirEdit->setText(startFolder());
    if (!runDialog(dialog)) {
        return;
    }
    const QString name = CleanFolderName(dialog.edNewName->text());
    const QString dir = dialog.dirEdit->text();
    if (!IsValidFolderName(name) || !QDir::isAbsolutePath(dir)) {
        ShowInfo(kFolderNotMade);
        return;
    }
    const QString path = WithTrailingBackslash(QDir::cleanPath(dir)) + name;
    if (FolderInTree(name) || QFileInfo::exists(path)) {
        ShowInfo(kFolderExists);
        return;
    }
    if (!QDir().mkpath(path)) {
        ShowInfo(kFolderNotMade);
        return;
    }
    addNode(MakeTreeItem(name, kFolderImage), nullptr);
    UpdateFdList(WithTrailingBackslash(path), true);
    saveTree();
}

void FolderTree::btnSubNewClick() {
    QTreeWidgetItem* node = selectedFolder();
    if (node == nullptr) {
        ShowInfo(kNoTarget);
        return;
    }
    const QString parent = GetFolderPath(node->text(0));
    if (parent.trimmed().isEmpty()) {
        return;
    }
    TnfForm dialog(startFolder(), m_page);
    dialog.dirEdit->setText(parent);
    dialog.dirEdit->setEnabled(false);
    dialog.btBrowse->setEnabled(false);
    dialog.edNewNameLabel->setText(QStringLiteral("新建子文件夹名："));
    if (!runDialog(dialog)) {
        return;
    }
    const QString name = CleanFolderName(dialog.edNewName->text());
    if (!IsValidFolderName(name)) {
        ShowInfo(kFolderNotMade);
        return;
    }
    if (FolderInTree(name)) {
        ShowInfo(kFolderExists);
        return;
    }
    const QString path = WithTrailingBackslash(parent) + name;
    if (!QDir().mkpath(path)) {
        ShowInfo(kFolderNotMade);
        return;
    }
    addNode(MakeTreeItem(name, kFolderImage), node);
    UpdateFdList(WithTrailingBackslash(path), true);
    saveTree();
}

void FolderTree::btnAddFolderClick() {
    const Answer answer =
        AskYesNoCancel(QStringLiteral("添加为与选定文件夹同级选“是”，添加为选定文件夹的子文件夹选否"));
    if (answer == Answer::Cancel) {
        return;
    }
    QTreeWidgetItem* selected = selectedFolder();
    TnfForm dialog(startFolder(), m_page);
    dialog.dirEditLabel->setText(QStringLiteral("选择要加入的文件夹..."));
    dialog.edNewName->setEnabled(false);
    dialog.edNewNameLabel->setEnabled(false);
    if (!runDialog(dialog)) {
        return;
    }
    const QString dir = dialog.dirEdit->text();
    if (!IsAddableFolder(dir)) {
        ShowInfo(kFolderNotMade);
        return;
    }
    const QString clean = QDir::cleanPath(dir);
    const QString name = GetFolderName(clean);
    if (FolderInTree(name)) {
        ShowInfo(kFolderExists);
        return;
    }
    QTreeWidgetItem* parent = nullptr;
    if (selected != nullptr) {
        parent = answer == Answer::Yes ? selected->parent() : selected;
    }
    addNode(MakeTreeItem(name, kFolderImage), parent);
    UpdateFdList(WithTrailingBackslash(clean), true);
    saveTree();
    ShowInfo(QStringLiteral("文件夹添加完成。如果里面的文档未加入数据库，则仍需导入。"));
}

void FolderTree::btnDelFolderClick() {
    QTreeWidgetItem* node = selectedFolder();
    if (node == nullptr) {
        ShowInfo(kNoTarget);
        return;
    }
    if (node->childCount() > 0) {
        ShowInfo(QStringLiteral("移除对象不能包含子文件夹。可以先将子文件夹拖拽其它地方"));
        return;
    }
    if (!AskYesNo(QStringLiteral("确定要移除（不删除磁盘上的文件夹）选定的文件夹吗？"))) {
        return;
    }
    const QString path = GetFolderPath(node->text(0));
    if (path.isEmpty() || !QFileInfo(path).isDir()) {
        return;
    }
    RemoveFolderDocuments(m_bench.store(), path);
    delete TakeNode(node);
    UpdateFdList(WithTrailingBackslash(path), false);
    saveTree();
}

void FolderTree::fdTreeViewClick(QTreeWidgetItem* node, Qt::KeyboardModifiers modifiers) {
    if (node == nullptr) {
        return;
    }
    const QStringList lines = ReadTextFile(listFile());
    QList<const QTreeWidgetItem*> descendants;
    appendDescendants(node, descendants);
    QStringList folders;
    for (const QTreeWidgetItem* descendant : std::as_const(descendants)) {
        folders.append(FolderPathIn(lines, descendant->text(0)));
    }
    const QString result = FolderDocuments(m_bench.store(), {FolderPathIn(lines, node->text(0))}, folders,
                                           modifiers.testFlag(Qt::ControlModifier));
    if (!result.isEmpty()) {
        Q_EMIT positionsReady(result, true);
    }
}

bool FolderTree::isOpen(const QString& path) const {
    if (!m_openDocuments) {
        return false;
    }
    const QStringList open = m_openDocuments();
    return std::any_of(open.begin(), open.end(), [&path](const QString& tab) { return SameFile(tab, path); });
}

void FolderTree::moveArticlesInto(QTreeWidgetItem* node, const QList<qint64>& positions, bool countMissing) {
    const QString folder = GetFolderPath(node->text(0));
    // An unknown folder is reported by the node's name: an empty path would read as the working folder.
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        ShowInfo(kFolderMissing.arg(folder.isEmpty() ? node->text(0) : folder));
        return;
    }
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    auto restore = qScopeGuard([] { QGuiApplication::restoreOverrideCursor(); });
    const MoveOutcome outcome = MoveDocuments(
        m_bench.store(), positions, folder, [this](const QString& path) { return isOpen(path); }, countMissing);
    restore.dismiss();
    QGuiApplication::restoreOverrideCursor();
    if (outcome.moved > 0) {
        Q_EMIT documentsMoved();
    }
    if (const QString report = MoveReportText(outcome); !report.isEmpty()) {
        ShowInfo(report);
    }
}

void FolderTree::btnMoveAllClick() {
    QTreeWidgetItem* node = selectedFolder();
    if (node == nullptr) {
        ShowInfo(kNoTarget);
        return;
    }
    if (!AskYesNo(QStringLiteral("确定要移动文档吗？"))) {
        return;
    }
    moveArticlesInto(node, m_articlePositions ? m_articlePositions(false) : QList<qint64>(), false);
}

bool FolderTree::fdTreeViewDragOver(const QObject* source) {
    if (source != nullptr && source == fdTreeView) {
        m_dragKind = FolderDrag;
    } else if (source != nullptr && source == m_articleView) {
        m_dragKind = ArticleDrag;
    } else {
        m_dragKind = NoDrag;
    }
    return m_dragKind != NoDrag;
}

void FolderTree::fdTreeViewDragLeave() {
    m_dragKind = NoDrag;
}

void FolderTree::fdTreeViewDragDrop(QTreeWidgetItem* target) {
    const DragKind kind = m_dragKind;
    m_dragKind = NoDrag;
    if (kind == FolderDrag) {
        QTreeWidgetItem* moved = selectedFolder();
        if (moved == nullptr || moved == target || isInSubtreeOf(target, moved)) {
            return;
        }
        MoveBranch(moved, target, -1);
        if (target != nullptr) {
            target->setExpanded(true);
        }
        fdTreeView->setCurrentItem(moved);
        saveTree();
    } else if (kind == ArticleDrag && target != nullptr) {
        moveArticlesInto(target, m_articlePositions ? m_articlePositions(true) : QList<qint64>(), true);
    }
}

} // namespace velmora
