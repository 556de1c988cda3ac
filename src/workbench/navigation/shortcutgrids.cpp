#include "shortcutgrids.h"

#include "store/wordmgr.h"
#include "workbench/application.h"
#include "workbench/controls.h"
#include "workbench/core/gridfiles.h"
#include "workbench/workbench.h"

#include <QDropEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QRect>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace velmora {

namespace {

const QColor kHeaderFill(166, 202, 240);
constexpr int kHeaderIndent = 2;

// Section headers of the common tags: a letter in red on a blue cell.
class HeaderCellDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const QString text = index.data().toString();
        if (!IsHeaderCell(text)) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        painter->save();
        painter->fillRect(option.rect, kHeaderFill);
        QFont bold = option.font;
        bold.setBold(true);
        painter->setFont(bold);
        painter->setPen(Qt::red);
        const QRect area = option.rect.adjusted(kHeaderIndent, 0, 0, 0);
        const QString shown = QFontMetrics(bold).elidedText(text, Qt::ElideRight, area.width());
        painter->drawText(area, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
        painter->restore();
    }
};

} // namespace

// A grid of tag cells: it reports a cell becoming the selected one (a click on the selected cell counts again),
// takes drops from the tag tree only, and shows the hand over cells that hold a tag.
class TagGrid final : public QTableWidget {
public:
    TagGrid(int rows, int columns, QWidget* parent) : QTableWidget(rows, columns, parent) {
        horizontalHeader()->hide();
        verticalHeader()->hide();
        setEditTriggers(QAbstractItemView::NoEditTriggers);
        setSelectionMode(QAbstractItemView::SingleSelection);
        setMouseTracking(true);
        setAcceptDrops(true);
        viewport()->setAcceptDrops(true);
        setDragDropMode(QAbstractItemView::DropOnly);
        setDropIndicatorShown(false);
    }

    std::function<void(int, int)> onSelect;
    std::function<void(int, int)> onDrop;
    std::function<bool(const QDropEvent*)> accepts;
    bool editMode = false;

    // A cell still being typed in counts with what was typed.
    void finishEditing() {
        if (state() != QAbstractItemView::EditingState) {
            return;
        }
        if (QWidget* editor = indexWidget(currentIndex())) {
            commitData(editor);
            closeEditor(editor, QAbstractItemDelegate::NoHint);
        }
    }

protected:
    void mousePressEvent(QMouseEvent* event) override {
        m_pressing = true;
        QTableWidget::mousePressEvent(event);
        m_pressing = false;
        const QModelIndex at = indexAt(event->position().toPoint());
        if (at.isValid() && onSelect) {
            RunReported([&] { onSelect(at.row(), at.column()); });
        }
    }

    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override {
        QTableWidget::currentChanged(current, previous);
        // A press reports its cell itself, also when that cell was already the selected one.
        if (!m_pressing && !m_focusing && current.isValid() && onSelect) {
            RunReported([&] { onSelect(current.row(), current.column()); });
        }
    }

    void mouseMoveEvent(QMouseEvent* event) override {
        QTableWidget::mouseMoveEvent(event);
        if (editMode) {
            return;
        }
        const QTableWidgetItem* cell = itemAt(event->position().toPoint());
        const bool filled = cell != nullptr && !cell->text().isEmpty();
        viewport()->setCursor(filled ? Qt::PointingHandCursor : Qt::ArrowCursor);
    }

    void dragEnterEvent(QDragEnterEvent* event) override { acceptAsCopy(event); }
    void dragMoveEvent(QDragMoveEvent* event) override { acceptAsCopy(event); }

    void focusInEvent(QFocusEvent* event) override {
        // A view that gets the focus without a current cell makes its first cell current; that is no choice of
        // the user's and must not list a shortcut.
        m_focusing = true;
        QTableWidget::focusInEvent(event);
        m_focusing = false;
    }

    void dropEvent(QDropEvent* event) override {
        if (!accepts || !accepts(event)) {
            event->ignore();
            return;
        }
        const QModelIndex at = indexAt(event->position().toPoint());
        if (at.isValid() && onDrop) {
            RunReported([&] { onDrop(at.row(), at.column()); });
        }
        event->setDropAction(Qt::CopyAction);
        event->accept();
    }

private:
    // Always a copy: a move would have the tag tree remove the node that was dragged.
    void acceptAsCopy(QDropEvent* event) {
        if (accepts && accepts(event)) {
            event->setDropAction(Qt::CopyAction);
            event->accept();
        } else {
            event->ignore();
        }
    }

    bool m_pressing = false;
    bool m_focusing = false;
};

QStringList GridCells(const QTableWidget* grid) {
    QStringList cells;
    for (int row = 0; row < grid->rowCount(); ++row) {
        for (int column = 0; column < grid->columnCount(); ++column) {
            const QTableWidgetItem* cell = grid->item(row, column);
            cells.append(cell != nullptr ? cell->text() : QString());
        }
    }
    return cells;
}

void SetGridCells(QTableWidget* grid, const QStringList& cells) {
    const int columns = grid->columnCount();
    const int count = std::min<int>(int(cells.size()), grid->rowCount() * columns);
    for (int i = 0; i < count; ++i) {
        grid->setItem(i / columns, i % columns, new QTableWidgetItem(cells.at(i)));
    }
}

namespace {

QString cellText(const QTableWidget* grid, int row, int column) {
    const QTableWidgetItem* cell = grid->item(row, column);
    return cell != nullptr ? cell->text() : QString();
}

void setCellText(QTableWidget* grid, int row, int column, const QString& text) {
    if (QTableWidgetItem* cell = grid->item(row, column)) {
        cell->setText(text);
    } else {
        grid->setItem(row, column, new QTableWidgetItem(text));
    }
}

QToolButton* headerButton(QWidget* parent, const QString& name, const QString& caption) {
    auto* button = Named(new QToolButton(parent), name);
    button->setText(caption);
    button->setAutoRaise(true);
    Describe(button, caption);
    return button;
}

} // namespace

ShortcutGrids::ShortcutGrids(Workbench& bench, QWidget* navigation, QWidget* window)
    : QObject(navigation), m_bench(bench) {
    setObjectName(QStringLiteral("shortcutGrids"));
    rzGrid = Named(new TagGrid(kShortcutRows, kShortcutColumns, nullptr), QStringLiteral("rzGrid"));
    rzGrid->horizontalHeader()->setDefaultSectionSize(41);
    rzGrid->verticalHeader()->setDefaultSectionSize(20);
    Describe(rzGrid, QStringLiteral("快捷方式"));
    scPanel = CaptionedPanel(QStringLiteral("scPanel"), QStringLiteral("快捷方式"), rzGrid, navigation);
    rzGrid->onSelect = [this](int row, int column) {
        rzGridSelectCell(row, column, QGuiApplication::keyboardModifiers());
    };
    rzGrid->onDrop = [this](int row, int column) { dropTagOnCell(rzGrid, row, column); };
    rzGrid->installEventFilter(this);
    if (auto* scSplitter = qobject_cast<QSplitter*>(navigation)) {
        connect(scSplitter, &QSplitter::splitterMoved, this, [this] { scSplitterMoved(); });
    }

    // A panel inside the window rather than a popup: a popup would take the mouse, and tags could no longer be
    // dragged onto it from the tag tree.
    scPnl = Named(new QFrame(window), QStringLiteral("scPnl"));
    static_cast<QFrame*>(scPnl)->setFrameShape(QFrame::Box);
    scPnl->setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(scPnl);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(1);
    auto* headerBar = new QHBoxLayout;
    auto* header = Named(new QLabel(QStringLiteral("常用快捷标签"), scPnl), QStringLiteral("scPnlCaption"));
    QFont bold = header->font();
    bold.setBold(true);
    header->setFont(bold);
    Describe(header, header->text());
    Describe(scPnl, header->text());
    btTagEdit = headerButton(scPnl, QStringLiteral("btTagEdit"), QStringLiteral("编辑"));
    btTagSave = headerButton(scPnl, QStringLiteral("btTagSave"), QStringLiteral("保存"));
    btCloseSCPnl = headerButton(scPnl, QStringLiteral("btCloseSCPnl"), QStringLiteral("×"));
    Describe(btCloseSCPnl, QStringLiteral("关闭"));
    btCloseSCPnl->setToolTip(QStringLiteral("关闭"));
    headerBar->addWidget(header, 1);
    headerBar->addWidget(btTagEdit);
    headerBar->addWidget(btTagSave);
    headerBar->addWidget(btCloseSCPnl);
    layout->addLayout(headerBar);
    tagGrid = Named(new TagGrid(kTagGridSide, kTagGridSide, scPnl), QStringLiteral("tagGrid"));
    tagGrid->horizontalHeader()->setDefaultSectionSize(52);
    tagGrid->setItemDelegate(new HeaderCellDelegate(tagGrid));
    Describe(tagGrid, header->text());
    tagGrid->onSelect = [this](int row, int column) { tagGridSelectCell(row, column); };
    tagGrid->onDrop = [this](int row, int column) { dropTagOnCell(tagGrid, row, column); };
    layout->addWidget(tagGrid);
    // The whole grid shows at once: sized from its cells, not from a fixed panel that leaves it scrolling.
    tagGrid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    tagGrid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    tagGrid->setFixedSize(kTagGridSide * tagGrid->horizontalHeader()->defaultSectionSize() + 2 * tagGrid->frameWidth(),
                          kTagGridSide * tagGrid->verticalHeader()->defaultSectionSize() + 2 * tagGrid->frameWidth());
    scPnl->resize(scPnl->sizeHint());
    scPnl->hide();
    ConnectReported(btTagEdit, &QToolButton::clicked, this, [this] { btTagEditClick(); });
    ConnectReported(btTagSave, &QToolButton::clicked, this, [this] { btTagSaveClick(); });
    connect(btCloseSCPnl, &QToolButton::clicked, scPnl, &QWidget::hide);
}

void ShortcutGrids::setTagSource(QWidget* tagTree) {
    m_tagSource = tagTree;
    const auto accepts = [this](const QDropEvent* event) {
        return m_tagSource != nullptr && event->source() == m_tagSource;
    };
    rzGrid->accepts = accepts;
    tagGrid->accepts = accepts;
}

QWidget* ShortcutGrids::panel() const {
    return scPanel;
}

void ShortcutGrids::toggleCommonTags(const QRect& anchor) {
    if (scPnl->isVisible()) {
        scPnl->hide();
        return;
    }
    QWidget* window = scPnl->parentWidget();
    // Below the tag edit, but never past the window's edges: the edit reaches the right edge, and a panel
    // hanging out of the window would hide its own buttons.
    QPoint at = window->mapFromGlobal(anchor.bottomLeft() + QPoint(0, 1));
    at.setX(std::clamp(at.x(), 0, std::max(0, window->width() - scPnl->width())));
    at.setY(std::clamp(at.y(), 0, std::max(0, window->height() - scPnl->height())));
    scPnl->move(at);
    scPnl->raise();
    scPnl->show();
}

// -- the shortcuts --

void ShortcutGrids::LoadSCList() {
    const QString path = m_bench.dataFile(QStringLiteral("SCList.dat"));
    const QStringList lines = LoadGridFile(path);
    if (lines.isEmpty()) {
        return;
    }
    const ShortcutLayout layout = ShortcutGridLayout(int(lines.size()));
    rzGrid->setRowCount(layout.rows);
    if (layout.hideScrollBar) {
        rzGrid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }
    if (layout.panelHeight > 0) {
        if (auto* splitter = qobject_cast<QSplitter*>(scPanel->parentWidget())) {
            QList<int> sizes = splitter->sizes();
            if (sizes.size() == 2) {
                const int total = sizes.at(0) + sizes.at(1);
                splitter->setSizes({layout.panelHeight, std::max(total - layout.panelHeight, 1)});
            }
        }
    }
    SetGridCells(rzGrid, lines);
}

void ShortcutGrids::SaveSCList() {
    // Written whatever the first cell holds: an emptied first cell must not keep every later change from disk.
    SaveShortcutFile(m_bench.dataFile(QStringLiteral("SCList.dat")), GridCells(rzGrid));
}

void ShortcutGrids::ItemAddToSCClick(const QString& tag) {
    const int cell = FreeShortcutCell(GridCells(rzGrid), tag);
    if (cell < 0) {
        return;
    }
    setCellText(rzGrid, cell / kShortcutColumns, cell % kShortcutColumns, tag);
    SaveSCList();
}

void ShortcutGrids::rzGridSelectCell(int row, int column, Qt::KeyboardModifiers modifiers) {
    const QString text = cellText(rzGrid, row, column);
    if (text.trimmed().isEmpty()) {
        return;
    }
    if (m_bench.shownListCaption().startsWith(text + u' ')) {
        return;
    }
    const std::optional<TagNode> node = m_lookup ? m_lookup(text) : std::nullopt;
    if (!node) {
        return;
    }
    m_bench.settings().set(SettingKey::LastTag, node->text);
    const QString list = m_bench.store().GetListForLoadwzTV(node->query, modifiers.testFlag(Qt::ShiftModifier));
    Q_EMIT positionsReady(list, true);
}

void ShortcutGrids::scSplitterMoved() {
    rzGrid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

bool ShortcutGrids::eventFilter(QObject* watched, QEvent* event) {
    if (watched == rzGrid && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        // Emptied on screen only; the file follows at the next save of the grid.
        if (QTableWidgetItem* cell = rzGrid->currentItem()) {
            cell->setText(QString());
        }
        return true;
    }
    return QObject::eventFilter(watched, event);
}

// -- drops from the tag tree --

QString ShortcutGrids::draggedTag() const {
    const auto* tree = qobject_cast<const QTreeWidget*>(m_tagSource.data());
    const QTreeWidgetItem* node = tree != nullptr ? tree->currentItem() : nullptr;
    return node != nullptr ? node->text(0) : QString();
}

void ShortcutGrids::dropTagOnCell(QTableWidget* grid, int row, int column) {
    if (row < 0 || row >= grid->rowCount() || column < 0 || column >= grid->columnCount()) {
        return;
    }
    const QString tag = draggedTag();
    if (tag.isEmpty()) {
        return;
    }
    setCellText(grid, row, column, tag);
    if (grid == rzGrid) {
        SaveSCList();
    } else {
        SaveTagsList();
    }
}

// -- the common tags --

void ShortcutGrids::LoadTagsList() {
    SetGridCells(tagGrid, LoadGridFile(m_bench.dataFile(QStringLiteral("TagsList.dat"))));
}

void ShortcutGrids::SaveTagsList() {
    SaveTagsFile(m_bench.dataFile(QStringLiteral("TagsList.dat")), GridCells(tagGrid));
}

void ShortcutGrids::tagGridSelectCell(int row, int column) {
    const QString text = cellText(tagGrid, row, column);
    if (AddsToTagEdit(text)) {
        Q_EMIT commonTagClicked(text);
    }
}

void ShortcutGrids::setEditMode(bool on) {
    tagGrid->editMode = on;
    tagGrid->setEditTriggers(on ? QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                                      QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked
                                : QAbstractItemView::NoEditTriggers);
    if (on) {
        tagGrid->viewport()->unsetCursor();
    }
}

void ShortcutGrids::btTagEditClick() {
    setEditMode(true);
}

void ShortcutGrids::btTagSaveClick() {
    tagGrid->finishEditing();
    setEditMode(false);
    SaveTagsList();
}

} // namespace velmora
