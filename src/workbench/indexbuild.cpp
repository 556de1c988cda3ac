#include "indexbuild.h"

#include "controls.h"
#include "store/textindex.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QThread>

namespace velmora {

namespace {

const QString kBuilding = QStringLiteral("正在建立全文索引…");

} // namespace

TextIndexBuildIndicator::TextIndexBuildIndicator(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("indexBuild"));
    Describe(this, kBuilding);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 0, 4, 0);
    layout->setSpacing(6);
    m_caption = Named(new QLabel(kBuilding, this), QStringLiteral("lbIndexBuild"));
    Describe(m_caption, kBuilding);
    m_bar = Named(new QProgressBar(this), QStringLiteral("pbIndexBuild"));
    m_bar->setRange(0, 0);
    m_bar->setTextVisible(false);
    m_bar->setFixedSize(80, 12);
    Describe(m_bar, kBuilding);
    layout->addWidget(m_caption);
    layout->addWidget(m_bar);
    m_caption->hide();
    m_bar->hide();
}

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
        m_caption->hide();
        m_bar->hide();
        Q_EMIT finished();
    });
    m_caption->show();
    m_bar->show();
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
    if (!running()) {
        return;
    }
    m_bar->setRange(0, total);
    m_bar->setValue(done);
    const QString text = QStringLiteral("%1 %2 / %3").arg(kBuilding).arg(done).arg(total);
    m_caption->setText(text);
    Describe(m_caption, text);
}

} // namespace velmora
