#pragma once

#include "workbench/toolbaractivity.h"

#include <QSet>
#include <QStringList>

#include <atomic>
#include <memory>

class QFileSystemWatcher;
class QThread;
class QTimer;

namespace velmora {

// Keeps the text caches level with files that other programs change: a pass over the library's documents by
// their files' stamps once the window is up, and while it runs a watch on the folders that hold them (the kernel
// tells when a file there is made, renamed or removed, which is how nearly every program saves), whose changes
// are gathered for a second and then looked at. A document whose cache is stale is read again by the built-in
// reader on a thread of its own at low priority; a protected one waits until it is next opened or searched. The
// toolbar shows the pass while it reads.
class CacheLevelPass final : public ToolbarActivity {
    Q_OBJECT

public:
    explicit CacheLevelPass(QWidget* parent);
    ~CacheLevelPass() override;

    // Looks at every one of `documents` (full paths), and watches their folders from now on.
    void start(const QStringList& documents);
    bool running() const;
    // Asks the pass to stop after the document being read, and waits for it.
    void stop();

Q_SIGNALS:
    // A pass ended; `read` caches were written again.
    void passFinished(int read);

private:
    void folderChanged(const QString& folder);
    void lookAtGathered();
    void runPass(const QStringList& documents);

    QStringList m_documents;
    std::unique_ptr<QThread> m_thread;
    std::atomic<bool> m_stop{false};
    QFileSystemWatcher* m_watcher = nullptr;
    QTimer* m_gather = nullptr;
    QSet<QString> m_changedFolders;
};

} // namespace velmora
