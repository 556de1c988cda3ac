#pragma once

#include <QObject>

class QToolBar;
class QTreeWidget;
class QWidget;

namespace velmora {

class Workbench;

// The folder tree (fdTreeView) with its toolbar: folders of documents, kept in FdTVItems.dat.
class FolderTree final : public QObject {
    Q_OBJECT

public:
    FolderTree(Workbench& bench, QWidget* parent);

    QWidget* page() const;
    void load();

private:
    Workbench& m_bench;
    QWidget* m_page = nullptr;
    QToolBar* fdToolbar = nullptr;
    QTreeWidget* fdTreeView = nullptr;
};

} // namespace velmora
