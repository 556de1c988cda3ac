#pragma once

#include <QString>
#include <QStringList>

namespace velmora {

// The two tag grids and their files. The grids are kept here as their cells in row-major order, so that the
// files are written and read without a widget (and tested without a display).

inline constexpr int kShortcutColumns = 4;
inline constexpr int kShortcutRows = 5;
inline constexpr int kShortcutPanelHeight = 132;
inline constexpr int kTagGridSide = 8;
inline constexpr int kTagGridCells = kTagGridSide * kTagGridSide;

// How the shortcut grid is laid out for a shortcut file of `lines` lines.
struct ShortcutLayout {
    int rows = kShortcutRows;
    // The rows would not all fit, and a scroll bar beside four narrow columns hides the last one.
    bool hideScrollBar = false;
    // The height of the panel holding the grid; -1 leaves it as it is.
    int panelHeight = -1;
};
ShortcutLayout ShortcutGridLayout(int lines);

// SCList.dat: the non-empty cells, without surrounding white space, one a line. Empty cells are left out, so
// the shortcuts close up at the next start. An empty grid gives an empty file.
QStringList ShortcutFileLines(const QStringList& cells);
void SaveShortcutFile(const QString& path, const QStringList& cells);

// TagsList.dat: every cell unchanged, one a line, an empty line for an empty cell.
void SaveTagsFile(const QString& path, const QStringList& cells);

// The lines of either grid file, none when it does not exist. A line ending is CR LF, LF or CR.
QStringList LoadGridFile(const QString& path);

// The cell the shortcut `tag` goes to: the first one that is blank, in row-major order; -1 when the tag is
// there already (in any letter case) or no cell is free.
int FreeShortcutCell(const QStringList& cells, const QString& tag);

// A common-tags cell that is exactly one capital letter heads a section of tags below it.
bool IsHeaderCell(const QString& text);
// Whether a click on a common-tags cell adds it to the tag edit: not when blank, and not when it begins with a
// capital letter (headers, and tags written like them).
bool AddsToTagEdit(const QString& text);
// The tag edit's text after `tag` is added to it, separated by one space.
QString AppendTag(const QString& tagEdit, const QString& tag);

} // namespace velmora
