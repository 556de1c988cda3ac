#pragma once

#include "workbench/toolbaractivity.h"

#include <atomic>
#include <memory>

class QThread;

namespace velmora {

// Brings the text index level with the cache once the window is up (a first start after an upgrade, a cache
// written by an older program, a writer that stopped half-way), on a thread of its own at low priority, and shows
// it in the toolbar with the files read. Searches meanwhile read
// what the index cannot vouch for, as without one. Closing the window stops it after the file being read; the
// next start goes on from there.
class TextIndexBuildIndicator final : public ToolbarActivity {
    Q_OBJECT

public:
    explicit TextIndexBuildIndicator(QWidget* parent);
    ~TextIndexBuildIndicator() override;

    // Starts the build when the index needs one; false when it does not.
    bool startIfNeeded();
    bool running() const;
    // Asks the build to stop and waits for it.
    void stop();

Q_SIGNALS:
    void finished();

private:
    void showProgress(int done, int total);

    std::unique_ptr<QThread> m_thread;
    std::atomic<bool> m_stop{false};
};

} // namespace velmora
