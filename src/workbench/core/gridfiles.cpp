#include "workbench/core/gridfiles.h"

#include "common/textcodec.h"

namespace velmora {

namespace {

// Up to this many shortcuts the panel keeps its height and scrolls; beyond, it grows to show every row.
constexpr int kMaxRowsShownWhole = 10;
constexpr int kRowHeight = 21;
constexpr int kPanelFrame = 6;

bool isCapitalLetter(QChar c) {
    return c >= u'A' && c <= u'Z';
}

} // namespace

ShortcutLayout ShortcutGridLayout(int lines) {
    ShortcutLayout layout;
    if (lines <= kShortcutRows * kShortcutColumns) {
        return layout;
    }
    layout.rows = lines / kShortcutColumns + (lines % kShortcutColumns != 0 ? 1 : 0);
    layout.hideScrollBar = true;
    if (layout.rows <= kMaxRowsShownWhole) {
        layout.panelHeight = (layout.rows + 1) * kRowHeight + kPanelFrame;
    }
    return layout;
}

QStringList ShortcutFileLines(const QStringList& cells) {
    QStringList lines;
    for (const QString& cell : cells) {
        const QString tag = cell.trimmed();
        if (!tag.isEmpty()) {
            lines.append(tag);
        }
    }
    return lines;
}

void SaveShortcutFile(const QString& path, const QStringList& cells) {
    WriteTextFile(path, ShortcutFileLines(cells));
}

void SaveTagsFile(const QString& path, const QStringList& cells) {
    QStringList lines = cells.mid(0, kTagGridCells);
    while (lines.size() < kTagGridCells) {
        lines.append(QString());
    }
    WriteTextFile(path, lines);
}

QStringList LoadGridFile(const QString& path) {
    return ReadTextFile(path);
}

int FreeShortcutCell(const QStringList& cells, const QString& tag) {
    int free = -1;
    for (int i = 0; i < cells.size(); ++i) {
        if (cells.at(i).compare(tag, Qt::CaseInsensitive) == 0) {
            return -1;
        }
        if (free < 0 && cells.at(i).trimmed().isEmpty()) {
            free = i;
        }
    }
    return free;
}

bool IsHeaderCell(const QString& text) {
    return text.size() == 1 && isCapitalLetter(text.at(0));
}

bool AddsToTagEdit(const QString& text) {
    return !text.trimmed().isEmpty() && !isCapitalLetter(text.at(0));
}

QString AppendTag(const QString& tagEdit, const QString& tag) {
    if (tagEdit.isEmpty()) {
        return tag;
    }
    if (tagEdit.endsWith(u' ')) {
        return tagEdit + tag;
    }
    return tagEdit + u' ' + tag;
}

} // namespace velmora
