#pragma once

#include <QFile>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace velmora::test {

// Frees a reader that waits on a FIFO: after a grace period, opens the FIFO for writing and closes it again, so
// that a reader blocked in open or read gets an end of file and the test ends. wasNeeded() says whether that
// happened, that is whether the reader under test blocked.
class FifoUnblocker final {
public:
    explicit FifoUnblocker(const QString& fifo, std::chrono::seconds grace = std::chrono::seconds(20))
        : m_thread([this, name = QFile::encodeName(fifo), grace] {
              std::unique_lock<std::mutex> lock(m_mutex);
              if (m_done.wait_for(lock, grace, [this] { return m_stop; })) {
                  return;
              }
              m_needed = true;
              while (!m_stop) {
                  // Succeeds only once a reader has the FIFO open; a reader waiting in open is freed by the open.
                  const int fd = ::open(name.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                  if (fd >= 0) {
                      ::close(fd);
                  }
                  m_done.wait_for(lock, std::chrono::milliseconds(50), [this] { return m_stop; });
              }
          }) {}
    ~FifoUnblocker() {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_done.notify_all();
        m_thread.join();
    }
    Q_DISABLE_COPY_MOVE(FifoUnblocker)

    bool wasNeeded() const { return m_needed; }

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_stop = false;
    std::atomic<bool> m_needed{false};
    std::thread m_thread;
};

} // namespace velmora::test
