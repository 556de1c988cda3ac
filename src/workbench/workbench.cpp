#include "workbench.h"

#include "common/appfolder.h"
#include "common/errors.h"
#include "office/automation/oleserver.h"
#include "office/tiexcel.h"
#include "office/tiword.h"
#include "platform/windows.h"
#include "store/wordmgr.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QThread>

namespace velmora {

// The thread makes the wrapper and leaves it here; the window's thread takes it only after the thread has ended.
struct Workbench::EarlyStart {
    std::unique_ptr<QThread> thread;
    std::unique_ptr<TiWord> word;
};

Workbench::Workbench(QObject* parent) : QObject(parent) {}

Workbench::~Workbench() {
    // An office coming up is waited for and then let go like one that was used: the wrapper quits the office it
    // started, so no office outlives the window that began starting it.
    if (m_earlyStart) {
        m_earlyStart->thread->wait();
        m_earlyStart.reset();
    }
}

QString Workbench::dataFile(const QString& name) {
    return AppDataFolder() + name;
}

void Workbench::open() {
    QDir().mkpath(AppDataFolder());
    QString unsaved;
    QString unsavedFile;
    try {
        m_settings.load(dataFile(QStringLiteral("settings.ini")));
    } catch (const VelmoraError& error) {
        // The defaults are in the list; only the new file could not be written.
        if (m_settings.lines().isEmpty()) {
            throw;
        }
        unsaved = error.message();
        unsavedFile = error.file();
    }
    m_store = std::make_unique<TWordMgr>(dataFile(QStringLiteral("worddata.data")));
    if (!unsaved.isEmpty()) {
        throw VelmoraError(unsaved, unsavedFile);
    }
}

void Workbench::closeStore() {
    if (!m_store) {
        return;
    }
    // Let go of the store even when its files cannot be written: the error is reported once, not again at exit.
    const std::unique_ptr<TWordMgr> store = std::move(m_store);
    store->SaveRecDataFiles(false);
}

TWordMgr& Workbench::store() {
    if (!m_store) {
        throw VelmoraError(QStringLiteral("资料库没有打开"));
    }
    return *m_store;
}

void Workbench::saveSettings() {
    m_settings.save();
}

void Workbench::startWordEarly() {
    if (m_word || m_earlyStart) {
        return;
    }
    auto start = std::make_unique<EarlyStart>();
    EarlyStart* slot = start.get();
    const QString warmUp = dataFile(QStringLiteral("help.docx"));
    start->thread.reset(QThread::create([slot, warmUp] {
        try {
            slot->word = std::make_unique<TiWord>(false);
        } catch (...) {
            // Nobody asked for the office yet; whoever asks first gets the error from a start of their own.
            return;
        }
        // The office loads its word processor with its first document, which takes about as long again as the
        // start. A hidden, read-only opening of the help document, closed at once, pays that here; an office that
        // already holds documents has paid it.
        TiWord& word = *slot->word;
        try {
            if (word.OpenedDocs() == 0 && QFileInfo(warmUp).isFile()) {
                word.OpenWordFile(warmUp, QString(), true);
                word.CloseWordFileByName(warmUp);
            }
        } catch (...) {
            // Only time is lost, the first opening loads the word processor itself; but the help document must not
            // stay open unseen, where the help button would find it open and show nothing.
            try {
                word.CloseWordFileByName(warmUp);
            } catch (...) {
            }
        }
    }));
    start->thread->setObjectName(QStringLiteral("officeStart"));
    connect(start->thread.get(), &QThread::finished, this, &Workbench::adoptEarlyWord);
    m_earlyStart = std::move(start);
    m_earlyStart->thread->start();
    Q_EMIT wordStartingChanged(true);
}

void Workbench::adoptEarlyWord() {
    if (!m_earlyStart) {
        return;
    }
    m_earlyStart->thread->wait();
    const std::unique_ptr<EarlyStart> start = std::move(m_earlyStart);
    if (!m_word && start->word) {
        m_word = std::move(start->word);
        m_word->SetCommandHandler(m_officeCommands);
    }
    Q_EMIT wordStartingChanged(false);
}

TiWord& Workbench::word() {
    if (m_earlyStart) {
        // Input waits with the handler that asked: a second click must not start a second opening meanwhile, and
        // closing the window must not pull the window from under it.
        QEventLoop loop;
        connect(this, &Workbench::wordStartingChanged, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (m_word && !IsOleServerRunning(QStringLiteral("Word.Application"))) {
        m_word.reset();
    }
    if (!m_word) {
        m_word = std::make_unique<TiWord>(false);
        m_word->SetCommandHandler(m_officeCommands);
    }
    return *m_word;
}

void Workbench::setOfficeCommandHandler(OfficeCommandHandler handler) {
    m_officeCommands = std::move(handler);
    if (m_word) {
        m_word->SetCommandHandler(m_officeCommands);
    }
}

TiExcel& Workbench::excel() {
    if (m_excel && !IsOleServerRunning(QStringLiteral("Excel.Application"))) {
        m_excel.reset();
    }
    if (!m_excel) {
        m_excel = std::make_unique<TiExcel>(false);
    }
    return *m_excel;
}

WindowSystem& Workbench::windows() {
    return Windows();
}

} // namespace velmora
