#include "oleserver.h"

#include "office/automation/automationerror.h"
#include "office/automation/dispatch.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>

#include <vector>

namespace velmora {

namespace {

// Servers built over another program may report their start and end from that program's threads.
struct Registry {
    QMutex mutex;
    QHash<QString, OleServerFactory> factories;
    QHash<QString, OleServerFactory> privateFactories;
    QHash<QString, std::vector<std::shared_ptr<Dispatch>>> running;
    QHash<QString, ActiveObjectFinder> finders;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

QString keyOf(const QString& progId) {
    return progId.trimmed().toLower();
}

} // namespace

void RegisterOleServer(const QString& progId, OleServerFactory factory, OleServerFactory privateFactory) {
    Registry& r = registry();
    QMutexLocker lock(&r.mutex);
    r.factories.insert(keyOf(progId), std::move(factory));
    if (privateFactory) {
        r.privateFactories.insert(keyOf(progId), std::move(privateFactory));
    } else {
        r.privateFactories.remove(keyOf(progId));
    }
}

void UnregisterOleServer(const QString& progId) {
    Registry& r = registry();
    QMutexLocker lock(&r.mutex);
    r.factories.remove(keyOf(progId));
    r.privateFactories.remove(keyOf(progId));
}

namespace {

OleVariant Create(const QString& progId, bool privateServer) {
    OleServerFactory factory;
    {
        Registry& r = registry();
        QMutexLocker lock(&r.mutex);
        factory = privateServer ? r.privateFactories.value(keyOf(progId)) : OleServerFactory();
        if (!factory) {
            factory = r.factories.value(keyOf(progId));
        }
    }
    if (!factory) {
        throw AutomationError(QStringLiteral("no automation server is installed as %1").arg(progId),
                              AutomationFault::NoServer);
    }
    // The factory may register itself as running, so it must be called without the lock held.
    std::shared_ptr<Dispatch> server;
    try {
        server = factory();
    } catch (const AutomationError&) {
        throw;
    } catch (const std::exception& e) {
        throw AutomationError(QString::fromLocal8Bit(e.what()), AutomationFault::NoServer);
    }
    if (!server) {
        throw AutomationError(QStringLiteral("the automation server %1 could not be started").arg(progId),
                              AutomationFault::NoServer);
    }
    return OleVariant(std::move(server));
}

} // namespace

OleVariant CreateOleObject(const QString& progId) {
    return Create(progId, false);
}

OleVariant CreatePrivateOleObject(const QString& progId) {
    return Create(progId, true);
}

void SetActiveObjectFinder(const QString& progId, ActiveObjectFinder finder) {
    Registry& r = registry();
    QMutexLocker lock(&r.mutex);
    r.finders.insert(keyOf(progId), std::move(finder));
}

namespace {

std::shared_ptr<Dispatch> activeObject(const QString& progId) {
    Registry& r = registry();
    ActiveObjectFinder finder;
    {
        QMutexLocker lock(&r.mutex);
        const auto it = r.running.constFind(keyOf(progId));
        if (it != r.running.constEnd() && !it->empty()) {
            return it->front();
        }
        finder = r.finders.value(keyOf(progId));
    }
    if (!finder) {
        return nullptr;
    }
    // The finder registers what it finds, so it runs without the lock.
    try {
        finder();
    } catch (const std::exception&) {
        return nullptr;
    }
    QMutexLocker lock(&r.mutex);
    const auto it = r.running.constFind(keyOf(progId));
    return it != r.running.constEnd() && !it->empty() ? it->front() : nullptr;
}

} // namespace

OleVariant GetActiveOleObject(const QString& progId) {
    std::shared_ptr<Dispatch> server = activeObject(progId);
    if (!server) {
        throw AutomationError(QStringLiteral("no %1 is running").arg(progId), AutomationFault::NoServer);
    }
    return OleVariant(std::move(server));
}

bool IsOleServerRunning(const QString& progId) noexcept {
    try {
        return activeObject(progId) != nullptr;
    } catch (...) {
        return false;
    }
}

void RegisterActiveObject(const QString& progId, const std::shared_ptr<Dispatch>& server) {
    if (!server) {
        return;
    }
    Registry& r = registry();
    QMutexLocker lock(&r.mutex);
    auto& servers = r.running[keyOf(progId)];
    for (const auto& present : servers) {
        if (present == server) {
            return;
        }
    }
    servers.push_back(server);
}

void RevokeActiveObject(const QString& progId, const Dispatch* server) {
    // The reference leaves the table before it is released, so that a server whose destructor revokes itself
    // cannot re-enter the lock.
    std::shared_ptr<Dispatch> released;
    Registry& r = registry();
    QMutexLocker lock(&r.mutex);
    const auto it = r.running.find(keyOf(progId));
    if (it == r.running.end()) {
        return;
    }
    auto& servers = *it;
    for (auto entry = servers.begin(); entry != servers.end(); ++entry) {
        if (entry->get() == server) {
            released = std::move(*entry);
            servers.erase(entry);
            break;
        }
    }
    if (servers.empty()) {
        r.running.erase(it);
    }
    lock.unlock();
}

} // namespace velmora
