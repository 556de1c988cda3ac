#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>

namespace velmora {

class TWordMgr;
class TagStrip;
class TiWord;

// One line of the import list; a folder line of a listing ends with the path delimiter.
struct ImportItem {
    QString path;
    bool selected = false;
};

// What the import dialog hands to a run.
struct ImportOptions {
    QList<ImportItem> items;
    QString password;             // as typed; applies when it is not blank
    bool passwordAllItems = true; // false: only selected lines get it
    bool tagsModified = false;    // the user typed into the tag box
    QString tags;                 // the tag box's text
    bool tagsAllItems = true;     // false: only selected lines get the tags
    bool index = true;            // write each document's text cache
};

// The text shown in an empty tag box; taken out of typed tags before they are used.
inline const QString kTagPlaceholder = QStringLiteral("标签请用空格分开");

// Whether the name's extension is .doc or .docx, in any letter case.
bool IsWordFileName(const QString& path);

// A folder's Word files for the import list: with `recurse` each sub-folder's line (ending with the delimiter)
// comes before its files. Only names whose extension is .doc or .docx in any letter case are taken.
QStringList ListImportFiles(const QString& folder, bool recurse);

// Tags meant for the selected lines while no line is selected: the run must not start.
bool TagScopeMissing(const ImportOptions& options);

// The import of one list into the library, a line at a time, so that the caller can show progress, keep its
// window painted and stop between files. Everything runs on the caller's thread: the office that protects and
// reads documents is private to the run, started there on first need and ended there when the run ends, however
// it ends (the office dies with the thread that started it).
//
// A failure of one file (its text unreadable, its protection refused) is noted and the run goes on: the record
// stays, without a password the file did not get.
//
// The library files are written as the run goes, at most once per `saveEvery` (and at the end), so that a run
// killed half-way keeps the records of the files written by then. Every save rewrites the whole library, which
// a save per file would pay a thousand times on a long run.
class ImportRun final {
public:
    enum class Outcome { Imported, Skipped, Failed };
    struct Step {
        Outcome outcome = Outcome::Skipped;
        qint64 position = -1; // the new record, also when a later step failed
        QString path;
    };
    struct Failure {
        QString path;
        QString reason;
    };

    static constexpr std::chrono::milliseconds kSaveEvery{1000};

    ImportRun(TWordMgr& store, TagStrip& strip, ImportOptions options,
              std::chrono::milliseconds saveEvery = kSaveEvery);
    ~ImportRun();
    Q_DISABLE_COPY_MOVE(ImportRun)

    int lineCount() const { return int(m_options.items.size()); }
    int nextLine() const { return m_next; }
    bool atEnd() const { return m_next >= lineCount(); }

    Step next();
    // Ends the office and writes the library files; an error of that write is raised.
    void finish();

    int importedCount() const { return m_imported; }
    // Lines passed over: the file is already in the library, or there is no file at that path.
    int inLibraryCount() const { return m_inLibrary; }
    int missingCount() const { return m_missing; }
    // Files of the lines not yet reached, folder lines left out.
    int remainingCount() const;
    const QList<Failure>& failures() const { return m_failures; }
    bool officeStarted() const { return m_officeStarted; }

private:
    TiWord& office();
    QString readText(const QString& path);
    void protect(const QString& path, const QString& password, bool& fileProtected);
    void endOffice() noexcept;
    Step importLine();
    void saveWhenDue();

    TWordMgr& m_store;
    TagStrip& m_strip;
    ImportOptions m_options;
    int m_next = 0;
    int m_imported = 0;
    int m_inLibrary = 0;
    int m_missing = 0;
    std::chrono::milliseconds m_saveEvery;
    QElapsedTimer m_sinceSave;
    bool m_officeStarted = false;
    QList<Failure> m_failures;
    std::unique_ptr<TiWord> m_word;
};

// The closing note of a run with failures, one line per failed file.
QString ImportFailureText(const QList<ImportRun::Failure>& failures);
// The closing note of every run: how many files were imported, passed over and failed (a failed file keeps its
// record), how many a stopped run did not reach, then the failures.
QString ImportSummaryText(const ImportRun& run, bool stopped);

} // namespace velmora
