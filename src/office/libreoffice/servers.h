#pragma once

#include "office/automation/dispatch.h"

#include <memory>

namespace velmora::lo {

class OfficeSession;

// The application objects of the two servers over a running session. A server registered as running leaves the
// running table when it quits or when its office dies.
std::shared_ptr<Dispatch> StartWordServer(const std::shared_ptr<OfficeSession>& session, const QString& progId,
                                          bool registerAsRunning);
std::shared_ptr<Dispatch> StartExcelServer(const std::shared_ptr<OfficeSession>& session, const QString& progId,
                                           bool registerAsRunning);

// Runs a Basic macro of the user's own macro library by Word's and Excel's macro name.
OleVariant RunBasicMacro(const std::shared_ptr<OfficeSession>& session, const QString& macro);

} // namespace velmora::lo
