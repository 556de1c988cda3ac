#pragma once

#include "writerserver.h"

namespace velmora::lo {

// A document in one of the program's tabs belongs to the program's window: the office's own commands that save,
// close or quit (from its menus, its keys, its window's close) are not carried out but handed to the program, and
// so are Ctrl+Tab and Ctrl+Shift+Tab, which the word processor would keep for itself. The program hears each as a
// call of the sink's member Command(name, full name), made from a thread of the office's bridge while the office
// waits: the sink must return at once. The names are Save, SaveAs, SaveAll, Close, Quit, New, NextTab and
// PreviousTab.
void TakeOverCommands(const Doc& doc, std::shared_ptr<Dispatch> sink);
// The office carries out its own commands for the document again (its tab went, the document stays open).
void GiveBackCommands(const Doc& doc);

} // namespace velmora::lo
