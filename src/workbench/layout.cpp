// The main window's controls, menus and timers, laid out once at creation. Controls whose behaviour arrives
// with later parts of the program are in place with their captions and hints, and disabled until then.

#include "application.h"
#include "imagelist.h"
#include "tagtreewidget.h"
#include "tmform.h"
#include "treeview.h"

#include <QAction>
#include <QActionGroup>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace velmora {

namespace {

template <typename T>
T* named(T* widget, const QString& name) {
    widget->setObjectName(name);
    return widget;
}

QAction* namedAction(QMenu* menu, const QString& name, const QString& caption) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(name);
    return action;
}

QWidget* captionedPanel(const QString& name, const QString& caption, QWidget* content, QWidget* parent) {
    auto* panel = named(new QWidget(parent), name);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* title = new QLabel(caption, panel);
    title->setObjectName(name + QStringLiteral("Caption"));
    title->setContentsMargins(6, 3, 6, 3);
    title->setStyleSheet(QStringLiteral("background: #dfe7ee; color: #2c3e50; font-weight: bold;"));
    layout->addWidget(title);
    layout->addWidget(content, 1);
    return panel;
}

void configureTree(QTreeWidget* tree, const QColor& background) {
    tree->setHeaderHidden(true);
    tree->setRootIsDecorated(true);
    tree->setIndentation(15);
    tree->setIconSize(QSize(18, 18));
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree->setSelectionBehavior(QAbstractItemView::SelectRows);
    tree->setUniformRowHeights(true);
    tree->setAutoFillBackground(true);
    tree->setStyleSheet(QStringLiteral("QTreeWidget { background: %1; border: none; }").arg(background.name()));
}

} // namespace

QToolButton* TmForm::addToolButton(const QString& name, const QString& caption, const QString& hint) {
    auto* button = named(new QToolButton(RzToolbar), name);
    button->setIcon(ToolbarImage(name));
    button->setText(caption);
    button->setToolTip(hint);
    button->setStatusTip(hint);
    button->setAutoRaise(true);
    button->setToolButtonStyle(caption.isEmpty() ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextBesideIcon);
    RzToolbar->addWidget(button);
    return button;
}

void TmForm::buildLayout() {
    resize(1180, 760);
    buildMenus();
    buildToolbar();

    Splitter1 = named(new QSplitter(Qt::Horizontal, this), QStringLiteral("Splitter1"));
    Splitter1->setChildrenCollapsible(false);
    leftPanel = named(new QWidget(Splitter1), QStringLiteral("leftPanel"));
    auto* leftLayout = new QHBoxLayout(leftPanel);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->setSpacing(1);
    buildNavigation();
    buildArticleColumn();
    leftLayout->addWidget(navPanel);
    leftLayout->addWidget(wzPanel, 1);
    buildMainPanel();
    Splitter1->addWidget(leftPanel);
    Splitter1->addWidget(mPanel);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({430, 750});
    setCentralWidget(Splitter1);
    connect(Splitter1, &QSplitter::splitterMoved, this, [this] { RunReported([&] { Splitter1Moved(); }); });

    Timer1 = named(new QTimer(this), QStringLiteral("Timer1"));
    Timer1->setInterval(150);
    svTimer = named(new QTimer(this), QStringLiteral("svTimer"));
    svTimer->setInterval(300000);
    svTimer->start();

    GoBackAction = new QAction(QStringLiteral("返回上次编辑位置"), this);
    GoBackAction->setObjectName(QStringLiteral("GoBackAction"));
    GoBackAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    GoBackAction->setEnabled(false);
    addAction(GoBackAction);
}

void TmForm::buildMenus() {
    pmMain = named(new QMenu(this), QStringLiteral("pmMain"));
    const QList<std::pair<const char*, const char*>> mainItems{
        {"ItemNew", "新建word文档"},
        {"ItemSave", "保存"},
        {"ItemSaveAll", "保存全部文档"},
        {"ItemSaveAs", "另存为"},
        {"ItemClose", "关闭"},
        {"ItemDelDoc", "移除当前word文档"},
        {nullptr, nullptr},
        {"ItemImport", "导入word文档"},
        {nullptr, nullptr},
        {"ItemSearch", "文档搜索"},
        {"ItemDocTags", "文档标签"},
        {"ItemInfo", "文档信息"},
        {"ItemBackup", "备份数据信息(不包括word文档)"},
        {nullptr, nullptr},
        {"ItemTagSort", "标签节点排序"},
        {nullptr, nullptr},
        {"ItemWeibo", "关注更新"},
    };
    for (const auto& [name, caption] : mainItems) {
        if (name == nullptr) {
            pmMain->addSeparator();
            continue;
        }
        QAction* item = namedAction(pmMain, QString::fromLatin1(name), QString::fromUtf8(caption));
        // Document actions come with the document tabs; "文档搜索" has no action at all.
        item->setEnabled(false);
    }
    ItemBackup = pmMain->findChild<QAction*>(QStringLiteral("ItemBackup"));
    ItemTagSort = pmMain->findChild<QAction*>(QStringLiteral("ItemTagSort"));
    ItemWeibo = pmMain->findChild<QAction*>(QStringLiteral("ItemWeibo"));
    for (QAction* item : {ItemBackup, ItemTagSort, ItemWeibo}) {
        item->setEnabled(true);
    }
    connect(ItemBackup, &QAction::triggered, this, [this] { RunReported([&] { ItemBackupClick(); }); });
    connect(ItemTagSort, &QAction::triggered, this, [this] { RunReported([&] { ItemTagSortClick(); }); });
    connect(ItemWeibo, &QAction::triggered, this, [this] { RunReported([&] { ItemWeiboClick(); }); });

    pmSort = named(new QMenu(this), QStringLiteral("pmSort"));
    const QList<std::pair<const char*, const char*>> keyItems{
        {"ItemTitle", "文章标题"},    {"ItemTags", "标签"},           {"ItemReadNum", "阅读次数"},
        {"ItemEditNum", "编辑次数"},  {"ItemScore", "评价(星级)"},    {"ItemCrDate", "创建日期"},
        {"ItemModiDate", "修改日期"}, {"ItemAccessDate", "访问日期"},
    };
    for (const auto& [name, caption] : keyItems) {
        QAction* item = namedAction(pmSort, QString::fromLatin1(name), QString::fromUtf8(caption));
        item->setCheckable(true);
        connect(item, &QAction::triggered, this, [this, item] {
            // Key items do not check themselves: the program checks the chosen one.
            item->setChecked(!item->isChecked());
            RunReported([&] { ItemTitleClick(item); });
        });
        sortKeyItems.append(item);
    }
    sortKeyItems.first()->setChecked(true);
    pmSort->addSeparator();
    auto* direction = new QActionGroup(pmSort);
    ItemSortHigh = namedAction(pmSort, QStringLiteral("ItemSortHigh"), QStringLiteral("升序"));
    ItemSortLow = namedAction(pmSort, QStringLiteral("ItemSortLow"), QStringLiteral("降序"));
    for (QAction* item : {ItemSortHigh, ItemSortLow}) {
        item->setCheckable(true);
        direction->addAction(item);
        connect(item, &QAction::triggered, this, [this, item] { RunReported([&] { ItemSortHighClick(item); }); });
    }
    ItemSortHigh->setChecked(true);

    pmNavTreeView = named(new QMenu(this), QStringLiteral("pmNavTreeView"));
    ItemSort = namedAction(pmNavTreeView, QStringLiteral("ItemSort"), QStringLiteral("标签节点排序"));
    ItemCollapse = namedAction(pmNavTreeView, QStringLiteral("ItemCollapse"), QStringLiteral("折叠所有标签"));
    ItemAddToSC = namedAction(pmNavTreeView, QStringLiteral("ItemAddToSC"), QStringLiteral("当前标签添加到快捷方式"));
    ItemAddToSC->setEnabled(false);
    pmNavTreeView->addSeparator();
    ItemToLeft = namedAction(pmNavTreeView, QStringLiteral("ItemToLeft"), QStringLiteral("当前节点向左"));
    ItemToRight = namedAction(pmNavTreeView, QStringLiteral("ItemToRight"), QStringLiteral("当前节点向右"));
    ItemUp = namedAction(pmNavTreeView, QStringLiteral("ItemUp"), QStringLiteral("当前节点向上"));
    ItemDown = namedAction(pmNavTreeView, QStringLiteral("ItemDown"), QStringLiteral("当前节点向下"));
    pmNavTreeView->addSeparator();
    ItemDelTag = namedAction(pmNavTreeView, QStringLiteral("ItemDelTag"), QStringLiteral("删除当前标签"));
    connect(ItemSort, &QAction::triggered, this, [this] { RunReported([&] { ItemTagSortClick(); }); });
    connect(ItemCollapse, &QAction::triggered, this, [this] { RunReported([&] { ItemCollapseClick(); }); });
    connect(ItemToLeft, &QAction::triggered, this, [this] { RunReported([&] { ItemToLeftClick(); }); });
    connect(ItemToRight, &QAction::triggered, this, [this] { RunReported([&] { ItemToRightClick(); }); });
    connect(ItemUp, &QAction::triggered, this, [this] { RunReported([&] { ItemUpClick(); }); });
    connect(ItemDown, &QAction::triggered, this, [this] { RunReported([&] { ItemDownClick(); }); });
    connect(ItemDelTag, &QAction::triggered, this, [this] { RunReported([&] { ItemDelTagClick(); }); });
    connect(pmNavTreeView, &QMenu::aboutToShow, this, [this] { RunReported([&] { pmNavTreeViewPopup(); }); });

    pmMacro = named(new QMenu(this), QStringLiteral("pmMacro"));
    pmMacro->setEnabled(false);
}

void TmForm::buildToolbar() {
    RzToolbar = named(new QToolBar(this), QStringLiteral("RzToolbar"));
    RzToolbar->setMovable(false);
    RzToolbar->setIconSize(QSize(18, 18));
    RzToolbar->setMinimumHeight(29);
    addToolBar(Qt::TopToolBarArea, RzToolbar);

    RzToolButton1 = addToolButton(QStringLiteral("RzToolButton1"), QStringLiteral("菜单"), QString());
    RzToolButton1->setMenu(pmMain);
    RzToolButton1->setPopupMode(QToolButton::InstantPopup);
    tbtTree = addToolButton(QStringLiteral("tbtTree"), QString(), QStringLiteral("导航标签操作"));
    tbtTree->setMenu(pmNavTreeView);
    tbtTree->setPopupMode(QToolButton::InstantPopup);
    tbtImport = addToolButton(QStringLiteral("tbtImport"), QStringLiteral("导入"), QString());
    tbtImport->setEnabled(false);

    schEdit = named(new QLineEdit(RzToolbar), QStringLiteral("schEdit"));
    schEdit->setFixedWidth(251);
    schEdit->setPlaceholderText(QStringLiteral("搜索"));
    QAction* searchButton = schEdit->addAction(AppImage(7), QLineEdit::TrailingPosition);
    searchButton->setObjectName(QStringLiteral("schEditRightButton"));
    schEdit->setEnabled(false);
    RzToolbar->addWidget(schEdit);

    tbtCreate = addToolButton(QStringLiteral("tbtCreate"), QString(), QStringLiteral("新建word文档"));
    tbtSave = addToolButton(QStringLiteral("tbtSave"), QString(), QStringLiteral("保存当前文档"));
    tbtSaveAll = addToolButton(QStringLiteral("tbtSaveAll"), QString(), QStringLiteral("保存所有打开的文档"));
    tbtTag = addToolButton(QStringLiteral("tbtTag"), QString(), QStringLiteral("设置更改文档标签、密码及评分"));
    tbtInfo = addToolButton(QStringLiteral("tbtInfo"), QString(), QString());
    tbtEmbed = addToolButton(QStringLiteral("tbtEmbed"), QString(), QStringLiteral("嵌入/反嵌入word文档"));
    tbtMacro = addToolButton(QStringLiteral("tbtMacro"), QString(), QString());
    tbtMacro->setMenu(pmMacro);
    tbtMacro->setPopupMode(QToolButton::InstantPopup);
    tbtXls = addToolButton(QStringLiteral("tbtXls"), QString(), QStringLiteral("电子书管理及Excel"));
    for (QToolButton* waiting : {tbtCreate, tbtSave, tbtSaveAll, tbtTag, tbtInfo, tbtEmbed, tbtMacro, tbtXls}) {
        waiting->setEnabled(false);
    }
    // The e-book workbook's button exists but is never shown.
    RzToolbar->actions().last()->setVisible(false);
    BtnUtilities =
        addToolButton(QStringLiteral("BtnUtilities"), QStringLiteral("Utilities"), QStringLiteral("程序设置"));
    connect(BtnUtilities, &QToolButton::clicked, this, [this] { RunReported([&] { BtnUtilitiesClick(); }); });
    btnHelp = addToolButton(QStringLiteral("btnHelp"), QString(), QStringLiteral("帮助"));
    btnHelp->setEnabled(false);
}

void TmForm::buildNavigation() {
    navPanel = named(new QWidget(leftPanel), QStringLiteral("navPanel"));
    navPanel->setFixedWidth(180);
    auto* layout = new QVBoxLayout(navPanel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    scSplitter = named(new QSplitter(Qt::Vertical, navPanel), QStringLiteral("scSplitter"));
    scSplitter->setChildrenCollapsible(false);
    rzGrid = named(new QTableWidget(5, 4), QStringLiteral("rzGrid"));
    rzGrid->horizontalHeader()->hide();
    rzGrid->verticalHeader()->hide();
    rzGrid->horizontalHeader()->setDefaultSectionSize(41);
    rzGrid->verticalHeader()->setDefaultSectionSize(20);
    rzGrid->setEnabled(false);
    scPanel = captionedPanel(QStringLiteral("scPanel"), QStringLiteral("快捷方式"), rzGrid, scSplitter);

    Page = named(new QTabWidget, QStringLiteral("Page"));
    Page->setDocumentMode(true);
    tagTreeView = named(new TagTreeWidget, QStringLiteral("tagTreeView"));
    configureTree(tagTreeView, QColor(238, 243, 246));
    tagTreeView->addTopLevelItem(MakeTreeItem(QStringLiteral("标签分类"), 1));
    tagTreeView->onDropped = [this] { m_tagTreeChanged = true; };
    connect(tagTreeView, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* node) {
        RunReported([&] { tagTreeViewClick(node, QGuiApplication::keyboardModifiers()); });
    });
    connect(tagTreeView, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* node) {
        RunReported([&] { tagTreeViewClick(node, QGuiApplication::keyboardModifiers()); });
    });
    Page->addTab(tagTreeView, QStringLiteral("标签"));

    filtTreeView = named(new QTreeWidget, QStringLiteral("filtTreeView"));
    configureTree(filtTreeView, palette().color(QPalette::ToolTipBase));
    buildFilterTree();
    connect(filtTreeView, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* node) { RunReported([&] { filtTreeViewClick(node); }); });
    connect(filtTreeView, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* node) { RunReported([&] { filtTreeViewClick(node); }); });
    Page->addTab(filtTreeView, QStringLiteral("筛选"));

    auto* folderPage = new QWidget;
    auto* folderLayout = new QVBoxLayout(folderPage);
    folderLayout->setContentsMargins(0, 0, 0, 0);
    folderLayout->setSpacing(0);
    fdToolbar = named(new QToolBar(folderPage), QStringLiteral("fdToolbar"));
    fdToolbar->setIconSize(QSize(16, 16));
    const QList<std::pair<const char*, const char*>> folderButtons{
        {"fdNew", "新建文件夹"},
        {"btnSubNew", "在选定文件夹下新建子文件夹"},
        {"btnAddFolder", "加入已有文件夹（不移动不复制）"},
        {"btnDelFolder", "移除选定文件夹（不删除文件夹）"},
        {"btnMoveAll", "将当前文章列表里的所有文档移动到选定文件夹里"},
    };
    for (const auto& [name, hint] : folderButtons) {
        QAction* button = fdToolbar->addAction(AppImage(33), QString::fromUtf8(hint));
        button->setObjectName(QString::fromLatin1(name));
        button->setEnabled(false);
    }
    fdTreeView = named(new QTreeWidget, QStringLiteral("fdTreeView"));
    configureTree(fdTreeView, QColor(Qt::white));
    folderLayout->addWidget(fdToolbar);
    folderLayout->addWidget(fdTreeView, 1);
    Page->addTab(folderPage, QStringLiteral("文件夹"));

    filtPanel = captionedPanel(QStringLiteral("filtPanel"), QStringLiteral("导航与筛选"), Page, scSplitter);
    scSplitter->addWidget(scPanel);
    scSplitter->addWidget(filtPanel);
    scSplitter->setSizes({132, 600});
    scSplitter->setStretchFactor(1, 1);
    layout->addWidget(scSplitter);
}

void TmForm::buildArticleColumn() {
    wzPanel = named(new QWidget(leftPanel), QStringLiteral("wzPanel"));
    auto* layout = new QVBoxLayout(wzPanel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* bar = new QWidget(wzPanel);
    bar->setFixedHeight(24);
    auto* barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(2, 0, 4, 0);
    barLayout->setSpacing(4);
    sortEdit = named(new QLineEdit(bar), QStringLiteral("sortEdit"));
    sortEdit->setReadOnly(true);
    sortEdit->setFixedWidth(150);
    sortEditLeftButton = sortEdit->addAction(AppImage(24), QLineEdit::LeadingPosition);
    sortEditLeftButton->setObjectName(QStringLiteral("sortEditLeftButton"));
    sortEditLeftButton->setToolTip(QStringLiteral("升序/降序排列"));
    sortEditLeftButton->setData(24);
    sortEditRightButton = sortEdit->addAction(AppImage(7), QLineEdit::TrailingPosition);
    sortEditRightButton->setObjectName(QStringLiteral("sortEditRightButton"));
    sortEditRightButton->setToolTip(QStringLiteral("排序方式"));
    connect(sortEditLeftButton, &QAction::triggered, this, [this] { RunReported([&] { sortEditLeftButtonClick(); }); });
    connect(sortEditRightButton, &QAction::triggered, this,
            [this] { RunReported([&] { sortEditRightButtonClick(); }); });
    wzNumLabel = named(new QLabel(QStringLiteral("0条"), bar), QStringLiteral("wzNumLabel"));
    wzNumLabel->hide();
    barLayout->addWidget(sortEdit);
    barLayout->addStretch(1);
    barLayout->addWidget(wzNumLabel, 0, Qt::AlignRight | Qt::AlignVCenter);
    layout->addWidget(bar);

    pnlSchOption = named(new QWidget(wzPanel), QStringLiteral("pnlSchOption"));
    pnlSchOption->setFixedHeight(74);
    auto* options = new QVBoxLayout(pnlSchOption);
    options->setContentsMargins(4, 2, 4, 2);
    options->setSpacing(2);
    auto* gpScope = named(new QGroupBox(pnlSchOption), QStringLiteral("gpScope"));
    auto* scope = new QHBoxLayout(gpScope);
    scope->setContentsMargins(4, 2, 4, 2);
    auto* scopeGroup = new QButtonGroup(gpScope);
    for (const auto& [name, caption] : {std::pair{"rAllDoc", "全部文档"}, std::pair{"rCurrList", "文章列表"}}) {
        auto* button = named(new QRadioButton(QString::fromUtf8(caption), gpScope), QString::fromLatin1(name));
        scopeGroup->addButton(button);
        scope->addWidget(button);
    }
    gpScope->findChild<QRadioButton*>(QStringLiteral("rAllDoc"))->setChecked(true);
    for (const auto& [name, caption, on] :
         {std::tuple{"ckAllText", "全部文字", false}, std::tuple{"ckFileName", "文档名称", true},
          std::tuple{"ckTag", "文档标签", true}}) {
        auto* box = named(new QCheckBox(QString::fromUtf8(caption), gpScope), QString::fromLatin1(name));
        box->setChecked(on);
        scope->addWidget(box);
    }
    options->addWidget(gpScope);
    auto* modes = new QHBoxLayout;
    auto* modeGroup = new QButtonGroup(pnlSchOption);
    for (const auto& [name, caption] : {std::pair{"rAorB", "A或B"}, std::pair{"rAandB", "A与B"},
                                        std::pair{"rAnotB", "A非B"}, std::pair{"rWhole", "完全匹配"}}) {
        auto* button = named(new QRadioButton(QString::fromUtf8(caption), pnlSchOption), QString::fromLatin1(name));
        modeGroup->addButton(button);
        modes->addWidget(button);
    }
    pnlSchOption->findChild<QRadioButton*>(QStringLiteral("rWhole"))->setChecked(true);
    auto* info = named(new QToolButton(pnlSchOption), QStringLiteral("btSearchInfo"));
    info->setIcon(ToolbarImage(QStringLiteral("tbtInfo")));
    info->setAutoRaise(true);
    modes->addWidget(info);
    options->addLayout(modes);
    pnlSchOption->setEnabled(false);
    layout->addWidget(pnlSchOption);

    wzTreeView = named(new QTreeWidget(wzPanel), QStringLiteral("wzTreeView"));
    configureTree(wzTreeView, QColor(Qt::white));
    wzTreeView->setRootIsDecorated(false);
    wzTreeView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    wzTreeView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    layout->addWidget(wzTreeView, 1);
}

void TmForm::buildMainPanel() {
    mPanel = named(new QWidget(Splitter1), QStringLiteral("mPanel"));
    auto* layout = new QVBoxLayout(mPanel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    tagPanel = named(new QWidget(mPanel), QStringLiteral("tagPanel"));
    tagPanel->setFixedHeight(26);
    auto* strip = new QHBoxLayout(tagPanel);
    strip->setContentsMargins(4, 1, 4, 1);
    strip->setSpacing(3);
    strip->addWidget(named(new QLabel(QStringLiteral("评分："), tagPanel), QStringLiteral("lbScore")));
    for (int i = 1; i <= 5; ++i) {
        auto* star = named(new QToolButton(tagPanel), QStringLiteral("btGroup%1").arg(i));
        star->setIcon(AppImage(14));
        star->setFixedSize(28, 22);
        star->setAutoRaise(true);
        strip->addWidget(star);
    }
    strip->addWidget(named(new QLabel(QStringLiteral("密码："), tagPanel), QStringLiteral("lblPSW")));
    auto* psEdit = named(new QLineEdit(tagPanel), QStringLiteral("psEdit"));
    psEdit->setEchoMode(QLineEdit::Password);
    psEdit->setFixedWidth(90);
    strip->addWidget(psEdit);
    auto* btPSView = named(new QToolButton(tagPanel), QStringLiteral("btPSView"));
    btPSView->setIcon(AppImage(13));
    btPSView->setAutoRaise(true);
    strip->addWidget(btPSView);
    strip->addWidget(named(new QLabel(QStringLiteral("标签："), tagPanel), QStringLiteral("RzLabel4")));
    auto* save = named(new QToolButton(tagPanel), QStringLiteral("btSaveTagScorePS"));
    save->setIcon(ToolbarImage(QStringLiteral("tbtSave")));
    save->setToolTip(QStringLiteral("保存标签"));
    save->setAutoRaise(true);
    strip->addWidget(save);
    auto* add = named(new QToolButton(tagPanel), QStringLiteral("btAddTag"));
    add->setIcon(AppImage(3));
    add->setToolTip(QStringLiteral("快速添加标签"));
    add->setAutoRaise(true);
    strip->addWidget(add);
    strip->addWidget(named(new QLineEdit(tagPanel), QStringLiteral("tagEdit")), 1);
    tagPanel->setEnabled(false);
    tagPanel->hide();
    layout->addWidget(tagPanel);

    Pager = named(new QTabWidget(mPanel), QStringLiteral("Pager"));
    Pager->setTabsClosable(true);
    Pager->setDocumentMode(true);
    Pager->setEnabled(false);
    layout->addWidget(Pager, 1);

    scPnl = named(new QWidget(this, Qt::Popup), QStringLiteral("scPnl"));
    scPnl->resize(431, 190);
    auto* scLayout = new QVBoxLayout(scPnl);
    scLayout->setContentsMargins(2, 2, 2, 2);
    auto* header = new QLabel(QStringLiteral("常用快捷标签"), scPnl);
    QFont bold = header->font();
    bold.setBold(true);
    header->setFont(bold);
    scLayout->addWidget(header);
    tagGrid = named(new QTableWidget(8, 8, scPnl), QStringLiteral("tagGrid"));
    tagGrid->horizontalHeader()->hide();
    tagGrid->verticalHeader()->hide();
    tagGrid->horizontalHeader()->setDefaultSectionSize(52);
    scLayout->addWidget(tagGrid);
    scPnl->hide();

    pnlClose = named(new QWidget(mPanel), QStringLiteral("pnlClose"));
    pnlClose->resize(120, 28);
    pnlClose->hide();
}

} // namespace velmora
