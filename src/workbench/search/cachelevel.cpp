#include "cachelevel.h"

#include "store/textcache.h"
#include "textreader/documenttext.h"

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QMetaObject>
#include <QThread>
#include <QTimer>

namespace velmora {

namespace {

const QString kLevelling = QStringLiteral("正在更新文字缓存…");

QString folderOf(const QString& path) {
    return QFileInfo(path).absolutePath();
}

} // namespace

CacheLevelPass::CacheLevelPass(QWidget* parent) : ToolbarActivity(QStringLiteral("cacheLevel"), kLevelling, parent) {
    m_watcher = new QFileSystemWatcher(this);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &CacheLevelPass::folderChanged);
    m_gather = new QTimer(this);
    m_gather->setSingleShot(true);
    // A save is several changes of its folder (a temporary file written, renamed, a lock file removed): they are
    // looked at together, once the folder has been quiet for a second.
    m_gather->setInterval(1000);
    connect(m_gather, &QTimer::timeout, this, &CacheLevelPass::lookAtGathered);
}

CacheLevelPass::~CacheLevelPass() {
    stop();
}

void CacheLevelPass::start(const QStringList& documents) {
    m_documents = documents;
    QSet<QString> folders;
    for (const QString& path : documents) {
        folders.insert(folderOf(path));
    }
    if (!m_watcher->directories().isEmpty()) {
        m_watcher->removePaths(m_watcher->directories());
    }
    // Folders that cannot be watched (gone, or past the kernel's limit of watches) are left to the next pass.
    const QStringList list(folders.cbegin(), folders.cend());
    if (!list.isEmpty()) {
        m_watcher->addPaths(list);
    }
    runPass(documents);
}

void CacheLevelPass::folderChanged(const QString& folder) {
    m_changedFolders.insert(folder);
    m_gather->start();
}

void CacheLevelPass::lookAtGathered() {
    if (running()) {
        // One pass at a time: the changes wait for the next look.
        m_gather->start();
        return;
    }
    QStringList documents;
    for (const QString& path : std::as_const(m_documents)) {
        if (m_changedFolders.contains(folderOf(path))) {
            documents.append(path);
        }
    }
    m_changedFolders.clear();
    if (!documents.isEmpty()) {
        runPass(documents);
    }
}

void CacheLevelPass::runPass(const QStringList& documents) {
    if (running()) {
        return;
    }
    m_stop = false;
    auto read = std::make_shared<std::atomic<int>>(0);
    m_thread.reset(QThread::create([this, documents, read] {
        TextCacheSources sources;
        if (documents.size() > 64) {
            sources.loadAll();
        }
        bool shown = false;
        for (const QString& path : documents) {
            if (m_stop) {
                break;
            }
            // A document without a cache waits for the search that needs it, as before.
            if (sources.freshness(path) != CacheFreshness::Stale) {
                continue;
            }
            if (!shown) {
                shown = true;
                QMetaObject::invokeMethod(this, [this] { setActive(true); });
            }
            DocumentText text = ReadDocumentText(path);
            if (!text.ok()) {
                continue;
            }
            try {
                WriteTextCache(path, text.text);
                ++*read;
            } catch (...) {
                // A cache that cannot be written now stays stale for the next pass or search.
            }
        }
    }));
    m_thread->setObjectName(QStringLiteral("cacheLevel"));
    connect(m_thread.get(), &QThread::finished, this, [this, read] {
        setActive(false);
        Q_EMIT passFinished(read->load());
    });
    m_thread->start(QThread::LowestPriority);
}

bool CacheLevelPass::running() const {
    return m_thread && m_thread->isRunning();
}

void CacheLevelPass::stop() {
    m_gather->stop();
    if (!m_thread) {
        return;
    }
    m_stop = true;
    m_thread->wait();
}

} // namespace velmora
