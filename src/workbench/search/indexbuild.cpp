#include "indexbuild.h"

#include "store/textindex.h"

#include <QMetaObject>
#include <QThread>

namespace velmora {

namespace {

const QString kBuilding = QStringLiteral("正在建立全文索引…");

} // namespace

TextIndexBuildIndicator::TextIndexBuildIndicator(QWidget* parent)
    : ToolbarActivity(QStringLiteral("indexBuild"), kBuilding, parent) {}

TextIndexBuildIndicator::~TextIndexBuildIndicator() {
    stop();
}

bool TextIndexBuildIndicator::startIfNeeded() {
    if (running() || !TextIndexNeedsBuild()) {
        return false;
    }
    m_stop = false;
    m_thread.reset(QThread::create([this] {
        try {
            BuildTextIndex(
                false,
                [this](int done, int total) {
                    QMetaObject::invokeMethod(this, [this, done, total] { showProgress(done, total); });
                },
                &m_stop);
        } catch (...) {
            // An index that cannot be written is no loss: the search reads the cache as it did without one.
        }
    }));
    m_thread->setObjectName(QStringLiteral("indexBuild"));
    connect(m_thread.get(), &QThread::finished, this, [this] {
        setActive(false);
        Q_EMIT finished();
    });
    setActive(true);
    // The user's own work (searches, the office) comes first.
    m_thread->start(QThread::LowestPriority);
    return true;
}

bool TextIndexBuildIndicator::running() const {
    return m_thread && m_thread->isRunning();
}

void TextIndexBuildIndicator::stop() {
    if (!m_thread) {
        return;
    }
    m_stop = true;
    m_thread->wait();
}

void TextIndexBuildIndicator::showProgress(int done, int total) {
    if (running()) {
        setProgress(done, total, QStringLiteral("%1 %2 / %3").arg(kBuilding).arg(done).arg(total));
    }
}

} // namespace velmora
