#pragma once

#include "common/fileinfo.h"

#include <QString>
#include <QtGlobal>

namespace velmora {

// The help document has no record; its tab carries this position.
inline constexpr qint64 kHelpPosition = -811;
// A new document that is not in the library yet.
inline constexpr qint64 kNewPosition = -1;

enum class TabKind { Document, NewDocument, Workbook };

// One open document's state, held by its tab and nowhere else.
struct DocTab {
    QString caption;
    // The full path of the file; for a new document the name the office gave it, which is also its caption.
    QString path;
    qint64 position = kNewPosition;
    // The office window placed in the tab; 0 while none has been found.
    quint64 window = 0;
    // Set while the window is back on the desktop; `window` then still names it, so that it can be embedded again.
    bool released = false;
    // Changed and saved while the tab was open, by whichever route: the opening counts one edit when it ends,
    // however many saves it had.
    bool savedDuringLife = false;
    // The file as it was when the tab last looked at it: a different stamp means the office (Ctrl+S or its own
    // menus inside the document) or another program wrote the file since.
    FileStamp seenStamp;

    TabKind kind() const;
    bool isHelp() const { return position == kHelpPosition; }
    // A document the office has a file for: a Word file, or a new document that the office itself saved under
    // a name of its own (any format). Only a document without a file is saved through save-as.
    bool hasFile() const;
    // A document that the library keeps counters and a cache for.
    bool isLibraryDocument() const { return kind() == TabKind::Document && position >= 0; }
};

// By the file's extension, ignoring case: workbooks ".xls", ".xlsx", ".xlsm", ".xlsb"; documents with a file
// ".doc", ".docx"; anything else a new document, whose name the office gave it.
TabKind KindOfPath(const QString& path);
// A library or help document's caption: its file name without extension, shortened.
QString DocumentCaption(const QString& path);
// The name a save-as dialog's choice is saved under: trimmed, its letter case kept, ".docx" added when it ends in
// neither ".doc" nor ".docx". Empty in, empty out.
QString DocumentSaveName(const QString& picked);

} // namespace velmora
