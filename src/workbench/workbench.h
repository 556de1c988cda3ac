#pragma once

#include "office/tiword.h"
#include "workbench/core/settingslist.h"

#include <QObject>
#include <QString>

#include <memory>

namespace velmora {

class TWordMgr;
class TiExcel;
class TiWord;
class WindowSystem;

// The document of the active tab, as the document tabs publish it for the other areas.
struct ActiveTab {
    bool open = false;     // no tab is open when false; the other fields are then empty
    int position = -1;     // record position; -1 a new document not yet in the library, -811 the help document
    QString path;          // the document's or workbook's full path
    bool workbook = false; // the tab shows a workbook, not a document
};

// What the areas of the main window share, without a widget: the library, the settings list, the office
// programs and the window system. Each area is handed this context instead of reaching into another area.
class Workbench final : public QObject {
    Q_OBJECT

public:
    explicit Workbench(QObject* parent = nullptr);
    ~Workbench() override;
    Q_DISABLE_COPY_MOVE(Workbench)

    // The data folder's file of that name.
    static QString dataFile(const QString& name);

    // Reads the settings (making the file when there is none) and opens the library. An error writing the new
    // settings file is raised after the library is open, so that start-up can report it and go on.
    void open();
    // Writes what the store changed and lets it go; an error is raised after the store is gone.
    void closeStore();

    TWordMgr& store();
    bool hasStore() const { return m_store != nullptr; }
    SettingsList& settings() { return m_settings; }
    const SettingsList& settings() const { return m_settings; }
    void saveSettings();

    // The office programs, started or attached on first need, and replaced when their server has gone away.
    // While the word processor is being started early, word() waits for that start, the window painting meanwhile
    // and the user's input held back until it is done.
    TiWord& word();
    // Starts (or attaches to) the word processor in a thread of its own, so that the first opening need not wait
    // for the office to come up. Does nothing when it is there already or being started. A start that fails is
    // forgotten: the next word() tries again and reports what goes wrong.
    void startWordEarly();
    bool wordStarting() const { return m_earlyStart != nullptr; }
    // Whether word() has been asked for: handlers that only act on what the office already holds do nothing
    // without it, rather than starting an office for nothing.
    bool hasWord() const { return m_word != nullptr; }
    // Who hears the office's own commands for the documents in tabs; every word processor wrapper made from now
    // on hands them there too.
    void setOfficeCommandHandler(OfficeCommandHandler handler);
    TiExcel& excel();
    // Whether excel() has been asked for, for steps that must not start an office program.
    bool hasExcel() const { return m_excel != nullptr; }
    WindowSystem& windows();

    // The caption the article list shows ("tag N条 "). A tree asks it before listing, so that the list already
    // shown is not asked for again.
    const QString& shownListCaption() const { return m_shownListCaption; }
    void setShownListCaption(const QString& caption) { m_shownListCaption = caption; }

    const ActiveTab& activeTab() const { return m_activeTab; }
    void setActiveTab(const ActiveTab& tab) { m_activeTab = tab; }

    // While an import runs, tags reaching the library are stored by the import itself.
    bool importing() const { return m_importing; }
    void setImporting(bool running) { m_importing = running; }

Q_SIGNALS:
    // The early start of the word processor began (true) or ended (false), successfully or not.
    void wordStartingChanged(bool starting);

private:
    struct EarlyStart;
    void adoptEarlyWord();

    SettingsList m_settings;
    std::unique_ptr<TWordMgr> m_store;
    std::unique_ptr<TiWord> m_word;
    std::unique_ptr<TiExcel> m_excel;
    std::unique_ptr<EarlyStart> m_earlyStart;
    OfficeCommandHandler m_officeCommands;
    QString m_shownListCaption;
    ActiveTab m_activeTab;
    bool m_importing = false;
};

} // namespace velmora
