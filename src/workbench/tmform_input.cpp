// The main window's keyboard and right-click menus, and the office start it shows.
#include "tmform.h"

#include "application.h"
#include "common/errors.h"
#include "common/prompts.h"
#include "contextmenus.h"
#include "controls.h"
#include "shell.h"
#include "shortcuts.h"
#include "store/wordmgr.h"
#include "workbench.h"
#include "workbench/dialogs/information.h"
#include "workbench/import/import.h"
#include "workbench/navigation/articlelist.h"
#include "workbench/navigation/foldertree.h"
#include "workbench/navigation/shortcutgrids.h"
#include "workbench/navigation/tagtree.h"
#include "workbench/search/cachelevel.h"
#include "workbench/search/indexbuild.h"
#include "workbench/search/search.h"
#include "workbench/tabs/documenttabs.h"
#include "workbench/tabs/officestart.h"
#include "workbench/tabs/tagspanel.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QMenu>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>
#include <QTreeWidget>

namespace velmora {

void TmForm::buildInput() {
    RzToolbar->addWidget(new OfficeStartIndicator(*m_bench, RzToolbar));
    m_indexBuild = new TextIndexBuildIndicator(RzToolbar);
    RzToolbar->addWidget(m_indexBuild);
    m_cacheLevel = new CacheLevelPass(RzToolbar);
    RzToolbar->addWidget(m_cacheLevel);

    // Tab goes round search, navigation, article list, tags strip and document tabs. The search options sit in the
    // article column but belong to the search; the document pages are left out, as their office would keep the
    // keyboard.
    m_keys = new WindowKeys(this);
    m_keys->addArea({m_search->box(), m_search->options()});
    m_keys->addArea({m_shortcuts->panel(), Page});
    m_keys->addArea({m_articles->widget()}, {m_search->options()});
    m_keys->addArea({m_tagsPanel->panel(), findChild<QWidget*>(QStringLiteral("scPnl"))});
    if (auto* pager = qobject_cast<QTabWidget*>(m_documents->pager())) {
        m_keys->addArea({pager->tabBar()});
    }
    // F6 and Shift+F6 go from area to area, as in the office and most desktop programs.
    const QList<std::tuple<const char*, const char*, QKeySequence, bool>> areaKeys{
        {"ItemNextArea", "下一个区域", QKeySequence(Qt::Key_F6), true},
        {"ItemPrevArea", "上一个区域", QKeySequence(Qt::SHIFT | Qt::Key_F6), false},
    };
    for (const auto& [name, caption, key, next] : areaKeys) {
        auto* item = Named(new QAction(QString::fromUtf8(caption), this), QString::fromLatin1(name));
        item->setShortcut(key);
        addAction(item);
        const bool forward = next;
        connect(item, &QAction::triggered, this, [this, forward] { m_keys->moveArea(forward); });
    }
    // A grid or list that walks its cells by Tab would hold the keyboard for good.
    for (QAbstractItemView* view : findChildren<QAbstractItemView*>()) {
        view->setTabKeyNavigation(false);
    }

    // The document commands' usual keys, on the menu items themselves so that the menu shows them. Like the menu,
    // they rest while an import runs.
    QList<QAction*> commands;
    const QList<std::pair<const char*, QKeySequence>> keys{
        {"ItemNew", QKeySequence(Qt::CTRL | Qt::Key_N)},
        {"ItemSave", QKeySequence(Qt::CTRL | Qt::Key_S)},
        {"ItemClose", QKeySequence(Qt::CTRL | Qt::Key_W)},
    };
    for (const auto& [name, key] : keys) {
        QAction* item = pmMain->findChild<QAction*>(QString::fromLatin1(name));
        item->setShortcut(key);
        addAction(item);
        commands.append(item);
    }
    connect(m_import, &Import::runningChanged, this, [commands](bool running) {
        for (QAction* item : commands) {
            item->setEnabled(!running);
        }
    });
    const QList<std::tuple<const char*, const char*, QKeySequence, int>> switches{
        {"ItemNextTab", "下一个文档", QKeySequence(Qt::CTRL | Qt::Key_Tab), 1},
        {"ItemPrevTab", "上一个文档", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), -1},
    };
    for (const auto& [name, caption, key, step] : switches) {
        auto* item = Named(new QAction(QString::fromUtf8(caption), this), QString::fromLatin1(name));
        item->setShortcut(key);
        addAction(item);
        const int by = step;
        ConnectReported(item, &QAction::triggered, this, [this, by] { m_documents->switchTab(by); });
    }

    // The office's own commands and keys inside a document in a tab are the window's: each runs the window's item,
    // with its questions, and rests while the item does (an import running).
    connect(m_documents, &DocumentTabs::officeCommandWanted, this, [this](OfficeCommand command) {
        // The window's own keys rest while one of its dialogs is up; so do the office's, which arrive meanwhile.
        if (QApplication::activeModalWidget() != nullptr) {
            return;
        }
        const char* name = nullptr;
        switch (command) {
        case OfficeCommand::Save:
            name = "ItemSave";
            break;
        case OfficeCommand::SaveAs:
            name = "ItemSaveAs";
            break;
        case OfficeCommand::SaveAll:
            name = "ItemSaveAll";
            break;
        case OfficeCommand::Close:
            name = "ItemClose";
            break;
        case OfficeCommand::Quit:
            name = "ItemQuit";
            break;
        case OfficeCommand::New:
            name = "ItemNew";
            break;
        case OfficeCommand::NextTab:
            name = "ItemNextTab";
            break;
        case OfficeCommand::PreviousTab:
            name = "ItemPrevTab";
            break;
        }
        QAction* item = findChild<QAction*>(QString::fromLatin1(name));
        if (item != nullptr && item->isEnabled()) {
            item->trigger();
        }
    });

    // Right-click menus: the tag tree's own menu, the folder tree's toolbar commands, and the article's commands.
    AttachContextMenu(static_cast<QTreeWidget*>(m_tags->view()), m_tags->menu());
    if (auto* folders = m_folders->page()->findChild<QTreeWidget*>(QStringLiteral("fdTreeView"))) {
        auto* pmFolder = Named(new QMenu(folders), QStringLiteral("pmFolder"));
        Describe(pmFolder, QStringLiteral("文件夹"));
        if (auto* toolbar = m_folders->page()->findChild<QToolBar*>(QStringLiteral("fdToolbar"))) {
            pmFolder->addActions(toolbar->actions());
        }
        AttachContextMenu(folders, pmFolder);
    }
    auto* articles = static_cast<QTreeWidget*>(m_articles->view());
    const auto pathOf = [this](qint64 position) { return m_bench->store().GetDocNameByPos(position); };
    ArticleCommands article;
    // Opening from the menu is opening from the list, with its busy cursor and its checks; a document open in a tab
    // shows its tab, where a click in the list would do nothing.
    article.open = [this, pathOf](qint64 position) {
        if (!m_documents->ActivateTabOf(pathOf(position))) {
            Q_EMIT m_articles->articleActivated(position);
        }
    };
    article.information = [this, pathOf](qint64 position) {
        const QString path = pathOf(position);
        if (!m_documents->ActivateTabOf(path)) {
            Q_EMIT m_articles->articleActivated(position);
        }
        if (const DocTab* tab = m_documents->activeTab();
            tab != nullptr && tab->path.compare(path, Qt::CaseInsensitive) == 0) {
            m_information->tbtInfoClick();
        }
    };
    article.locate = [pathOf](qint64 position) {
        const QString path = pathOf(position);
        if (!QFileInfo(path).isFile()) {
            ShowInfo(QStringLiteral("%1 不存在").arg(path));
            return;
        }
        ShowInFileManager(path, [path] { ShowInfo(NoFileManagerText(path)); });
    };
    article.remove = [this, pathOf](qint64 position) {
        const QString path = pathOf(position);
        // An open document leaves the library as the menu's "移除当前word文档" takes it: saved and closed first.
        if (m_documents->ActivateTabOf(path)) {
            m_documents->ItemDelDocClick();
            return;
        }
        if (!AskYesNo(QStringLiteral("确定要将当前文档从数据库中移除吗？"))) {
            return;
        }
        TWordMgr& store = m_bench->store();
        store.SetRecDeleted(position, true);
        store.SaveRecDataFiles(false);
        m_articles->RemoveArticleNode(position);
    };
    MakeArticleMenu(articles, std::move(article));
}

bool TmForm::focusNextPrevChild(bool next) {
    return (m_keys != nullptr && m_keys->moveFocus(next)) || QMainWindow::focusNextPrevChild(next);
}

void TmForm::startOfficeEarly() {
    m_bench->startWordEarly();
}

bool TmForm::buildTextIndexEarly() {
    return m_indexBuild->startIfNeeded();
}

void TmForm::levelCachesEarly() {
    const TWordMgr& store = m_bench->store();
    QStringList documents;
    for (int k = 0; k < store.GetRecNumber(); ++k) {
        const TWordRec rec = store.RecordAt(qint64(k) * TWordRec::Size);
        if (rec.wdDeleted || rec.wdFullNamePos < 0) {
            continue;
        }
        try {
            documents.append(store.StringAt(rec.wdFullNamePos));
        } catch (const VelmoraError&) {
            // A damaged record names no file to watch.
        }
    }
    m_cacheLevel->start(documents);
}

} // namespace velmora
