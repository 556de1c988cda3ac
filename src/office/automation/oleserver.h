#pragma once

#include "office/automation/olevariant.h"

#include <functional>
#include <memory>

namespace velmora {

// Starts a new server process (or its in-process stand-in) and returns its application object. It raises
// AutomationError when the server cannot be started.
using OleServerFactory = std::function<std::shared_ptr<Dispatch>()>;

// Servers are found by program identifier ("Word.Application"), letter case ignored, as on the desktops the
// wrappers were made for. A server is installed once (its factory) and, while it runs, may be registered as the
// active object of its identifier, which is what a client that wants "the running one" attaches to.
// privateFactory, when given, starts a server of the caller's own that never becomes the running one.
void RegisterOleServer(const QString& progId, OleServerFactory factory, OleServerFactory privateFactory = {});
void UnregisterOleServer(const QString& progId);

// A new application object from the installed factory. Raises AutomationError (NoServer) when no server is
// installed under progId, and passes on the factory's error when it fails.
OleVariant CreateOleObject(const QString& progId);
// A server for the caller alone: from the private factory when one is installed, otherwise as CreateOleObject.
OleVariant CreatePrivateOleObject(const QString& progId);

// The active object of progId. Raises AutomationError (NoServer) when none is registered.
OleVariant GetActiveOleObject(const QString& progId);

// True when a running server of progId is registered as the active object; false on any failure.
bool IsOleServerRunning(const QString& progId) noexcept;

// Looks outside this process for a running server of progId (one that another program started after this one
// looked last) and, when it finds one, registers it with RegisterActiveObject. Asked whenever a client wants
// the running server and none is registered.
using ActiveObjectFinder = std::function<void()>;
void SetActiveObjectFinder(const QString& progId, ActiveObjectFinder finder);

// Called by a server when it starts running and when it quits or dies: a server that quits must leave the
// running table, or clients would attach to a dead process. When several run, the earliest still registered is
// the active one. Registering the same object twice has no effect.
void RegisterActiveObject(const QString& progId, const std::shared_ptr<Dispatch>& server);
void RevokeActiveObject(const QString& progId, const Dispatch* server);

} // namespace velmora
