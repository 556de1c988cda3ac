#pragma once

#include "app/dbtool.h"
#include "common/textcodec.h"
#include "store/librarylock.h"
#include "store/wordmgr.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

// The commands of velmoradb, one file per kind: listing.cpp, changing.cpp, maintenance.cpp, indexsearch.cpp and
// relink.cpp; tool.cpp reads the command line and hands it to them; arguments.h and messages.h hold what they share.
namespace velmora::dbtool {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

QString libraryFile();
QString recordFile();
QString tagTreeFile();

class DbTool {
public:
    DbTool(QTextStream& out, QTextStream& err, DocumentReader reader) : m_out(out), m_err(err), m_reader(reader) {}

    int run(QStringList args);

private:
    // Commands that only look map the files and leave them untouched; the others hold the lock first.
    TWordMgr& store() {
        if (!m_store) {
            m_store = std::make_unique<TWordMgr>(libraryFile(), m_lock ? OpenMode::ReadWrite : OpenMode::ReadOnly);
        }
        return *m_store;
    }

    // A command that reads needs a library to read: a mistyped folder must not pass for an empty library.
    bool libraryExists();
    // Only the default data folder comes into being by itself; a folder named on purpose must already exist.
    bool folderForChange();

    // Changing commands hold the lock for their whole run, so neither the main window nor a second tool can
    // change the files in between.
    bool lockForChange();

    bool openForReading() { return libraryExists(); }
    bool openForChange(bool mayCreate) { return (mayCreate ? folderForChange() : libraryExists()) && lockForChange(); }

    // Commands that rewrite every record would carry a damaged item into the new files as if it were whole.
    bool refuseDamagedLibrary() {
        const qint64 bad = store().FirstRecordOutsideStrings();
        if (bad < 0) {
            return false;
        }
        m_err << "velmoradb: record " << bad << " points outside the string file " << store().FileName()
              << "; nothing was changed. Run velmoradb check\n";
        return true;
    }

    // The store for a listing query: its lines are printed as they are found, never collected.
    TWordMgr& streaming() {
        store().SetListSink([this](qint64 pos, const QString& path) { m_out << pos << '|' << path << '\n'; });
        return store();
    }

    void printList(const QString& list) {
        for (const QString& line : SplitLines(list)) {
            m_out << line << '\n';
        }
    }

    // Live records whose path equals path, ignoring the case of A to Z as the library does.
    std::vector<qint64> liveRecordsOf(const QString& path);
    // Walks the folder for .doc and .docx files, in name order; folders that cannot be read are reported.
    QStringList documentsBelow(const QString& folder, int& status);

    int tags(QStringList args);
    int tagList();
    int paths(const QStringList& args);
    int filter(const QStringList& args);
    int show(QStringList args);
    int add(QStringList args);
    int set(QStringList args);
    int removeOrRestore(const QStringList& args, bool remove);
    int purge(const QStringList& args);
    int compact(const QStringList& args);
    // Opens the library for a change that removes records, refuses a damaged one, and says how many went.
    int rewriteRecords(const std::function<void(TWordMgr&)>& rewrite);
    int check(const QStringList& args);
    int stats(const QStringList& args);
    int index(const QStringList& args);
    int search(QStringList args);
    int relink(QStringList args);

    QTextStream& m_out;
    QTextStream& m_err;
    std::optional<LibraryLock> m_lock;
    bool m_chosenFolder = false;
    std::unique_ptr<TWordMgr> m_store;
    DocumentReader m_reader;
};

} // namespace velmora::dbtool
