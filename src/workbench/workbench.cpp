#include "workbench.h"

#include "common/appfolder.h"
#include "common/errors.h"
#include "office/automation/oleserver.h"
#include "office/tiexcel.h"
#include "office/tiword.h"
#include "platform/windows.h"
#include "store/wordmgr.h"

#include <QDir>

namespace velmora {

Workbench::Workbench(QObject* parent) : QObject(parent) {}

Workbench::~Workbench() = default;

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

TiWord& Workbench::word() {
    if (m_word && !IsOleServerRunning(QStringLiteral("Word.Application"))) {
        m_word.reset();
    }
    if (!m_word) {
        m_word = std::make_unique<TiWord>(false);
    }
    return *m_word;
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
