#pragma once

#include <QIcon>
#include <QString>

namespace velmora {

// The shared pictures of the main window, 18 × 18, by the indices the trees and buttons use: 1 tag group,
// 2 article, 3 leaf tag, 4 filters, 5 date, 6 score, 7 sort menu, 8 search, 12 properties, 13 password, 14 unlit star,
// 15 lit star, 23 descending, 24 ascending, 33 folder. Any other index gives an empty icon.
QIcon AppImage(int index);

// The program's own picture, for the window and the desktop entry.
QIcon ProgramIcon();

// Toolbar pictures by the button's name (tbtImport, tbtSave, ...).
QIcon ToolbarImage(const QString& buttonName);

} // namespace velmora
