#pragma once

#include "workbench/core/relink.h"

#include <QString>

class QWidget;

namespace velmora {

class TWordMgr;

// The window's way to find moved documents: the search below the folders runs on a thread of its own under a
// modal progress dialog (the window goes on painting; 取消 stops it), then the records change on this thread.
// Returns the plan as applied; a cancelled search changes nothing.
RelinkPlan RunRelinkSearch(QWidget* parent, TWordMgr& store, const std::vector<MissingDocument>& missing,
                           const QStringList& folders);

// The summary after a search: how many were found again, had several candidates or none, and the folders that
// could not be read.
QString RelinkSummaryText(const RelinkPlan& plan);

// Opening a document whose file is missing: asks whether to locate it (pick the file, or a folder to search)
// and updates the record. Returns the record's path afterwards; the old path when nothing changed.
QString OfferToLocate(QWidget* parent, TWordMgr& store, qint64 position, const QString& path);

} // namespace velmora
