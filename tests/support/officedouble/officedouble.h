#pragma once

#include "office/automation/dispatch.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QSet>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace velmora::test {

// A scriptable stand-in for the office programs. While an OfficeDouble lives, "Word.Application" and
// "Excel.Application" are answered by in-memory servers that keep a small model of documents and workbooks
// and record every member call they receive, one readable line per call:
//
//   Documents.Count                                  a read
//   Documents.Item(int:2).FullName                   a read with index arguments
//   Selection.ParagraphFormat.Alignment := &int:7    a write (& marks a value passed by reference)
//   ActiveDocument.Close(int:-1)                     a method call
//   Selection.Find.Execute(Replace=int:2)            named arguments
//
// Values show their kind: bool:, int:, single:, double:, cur: (currency), date:, "text", missing, empty, and
// obj:<path> for objects of the double. Reads that only step to an object (Documents, Documents.Item(int:1))
// are kept out of log() and shown in fullLog().
//
// Only one OfficeDouble may live at a time: each answers the same program identifiers.

class OfficeDouble;
class DoubleObject;

// The files that the servers open and save, shared by every server of one OfficeDouble.
struct DiskFile {
    QString text;    // document text with paragraphs ended by "\r"
    int format = -1; // the FileFormat of the last SaveAs, -1 when saved natively
};

// What every server double has: its log, the calls told to fail, and its life.
class ServerDouble : public std::enable_shared_from_this<ServerDouble> {
public:
    ServerDouble(OfficeDouble* owner, QString progId);
    virtual ~ServerDouble();
    Q_DISABLE_COPY_MOVE(ServerDouble)

    QStringList log() const;
    QStringList fullLog() const;
    void clearLog();

    // The next `times` calls whose line starts with `prefix` raise an AutomationError with `message` (a negative
    // count: every such call). The failing call is still logged.
    void failOn(const QString& prefix, int times = -1, const QString& message = QStringLiteral("call refused"));
    // The server process is gone: it leaves the running table and every later call raises
    // (AutomationFault::Disconnected) without being logged.
    void die();
    bool dead() const { return m_dead; }
    bool quit() const { return m_quit; }

    // Application-level properties (Visible, ScreenUpdating, WindowState, ...) and those of the simple objects
    // (Options, Selection.Font, Selection.ParagraphFormat, ...), by object key and property name.
    OleVariant property(const QString& object, const QString& name) const;
    void setProperty(const QString& object, const QString& name, const OleVariant& value);

    // The application object, as a client of the registry gets it.
    std::shared_ptr<Dispatch> application();
    void makeActive();

    QString progId() const { return m_progId; }
    OfficeDouble* owner() const { return m_owner; }

    // Used by the objects of the double.
    void enter(const QString& line);
    void markNavigation();
    void quitNow();
    bool isBag(const QString& key) const { return m_bags.contains(key.toLower()); }
    void declareBag(const QString& key) { m_bags.insert(key.toLower()); }

protected:
    virtual std::shared_ptr<Dispatch> makeApplication() = 0;
    OfficeDouble* m_owner;

private:
    struct Entry {
        QString line;
        bool navigation = false;
    };
    struct FailRule {
        QString prefix;
        int times;
        QString message;
    };
    QString m_progId;
    QList<Entry> m_log;
    QList<FailRule> m_failRules;
    QHash<QString, OleVariant> m_properties;
    QSet<QString> m_bags;
    std::weak_ptr<Dispatch> m_application;
    const Dispatch* m_registered = nullptr;
    bool m_dead = false;
    bool m_quit = false;
};

struct WordDocument {
    QString fullName;
    QString name;
    bool saved = true;
    QString text = QStringLiteral("\r");
    bool readOnly = false;
    QString password;
    QString codeName = QStringLiteral("ThisDocument");
    QString templateName = QStringLiteral("Normal.dotm");
    int pages = 1;
    QStringList hyperlinks;               // addresses, in order
    QStringList bookmarks;                // names, in order
    QStringList pictures;                 // files inserted as pictures
    QHash<QString, int> counts;           // Count of the other collections, by lower-case name
    QHash<int, OleVariant> builtInValues; // BuiltInDocumentProperties values by index
    int saveCount = 0;
    // Who hears the office's own commands of the document, once the program took them over.
    std::shared_ptr<Dispatch> commandSink;
};

class WordDouble final : public ServerDouble {
public:
    using ServerDouble::ServerDouble;

    // A saved document opened from fullName; it becomes the active one.
    std::shared_ptr<WordDocument> addDocument(const QString& fullName, const QString& text = QStringLiteral("\r"));
    // A new, never saved document named 文档1, 文档2, ... in the order of creation.
    std::shared_ptr<WordDocument> addNewDocument();
    void closeDocument(const std::shared_ptr<WordDocument>& document);

    QList<std::shared_ptr<WordDocument>> documents;
    std::shared_ptr<WordDocument> active;
    // The selection of the active document, as a span of its text.
    qsizetype selectionStart = 0;
    qsizetype selectionLength = 0;
    QString clipboard;
    QStringList macrosRun;
    int goBackCount = 0;

    // Text a file has when it is opened or inserted: the double's disk first, then a plain UTF-8 file read from
    // the real disk with its lines as paragraphs. Empty optional when the file is nowhere.
    std::optional<QString> fileText(const QString& path) const;

protected:
    std::shared_ptr<Dispatch> makeApplication() override;

private:
    int m_nextNewNumber = 1;
};

struct ExcelSheet {
    QString name;
    QMap<QPair<int, int>, OleVariant> cells; // by (row, column)
    QMap<QPair<int, int>, QString> links;    // addresses by (row, column)
};

struct ExcelWorkbook {
    QString fullName;
    bool saved = true;
    QList<ExcelSheet> sheets;
    int saveCount = 0;
};

class ExcelDouble final : public ServerDouble {
public:
    using ServerDouble::ServerDouble;

    std::shared_ptr<ExcelWorkbook> addWorkbook(const QString& fullName, int sheets = 3);
    QList<std::shared_ptr<ExcelWorkbook>> workbooks;
    std::shared_ptr<ExcelWorkbook> active;
    int activeSheet = 0; // 0-based index in the active workbook
    QPair<int, int> selectedCell{1, 1};
    QStringList macrosRun;

protected:
    std::shared_ptr<Dispatch> makeApplication() override;
};

class OfficeDouble final {
public:
    OfficeDouble();
    ~OfficeDouble();
    Q_DISABLE_COPY_MOVE(OfficeDouble)

    // A Word or Excel that the user started before the program: running and registered as active.
    std::shared_ptr<WordDouble> startWord();
    std::shared_ptr<ExcelDouble> startExcel();

    // Every server started, by the user or by a client, in order.
    QList<std::shared_ptr<WordDouble>> words;
    QList<std::shared_ptr<ExcelDouble>> excels;
    WordDouble& word(int i = 0) { return *words.at(i); }
    ExcelDouble& excel(int i = 0) { return *excels.at(i); }

    // An uninstalled program cannot be created (as on a machine without Office).
    void setInstalled(const QString& progId, bool installed);
    // Whether a server started by a client registers itself as the running one.
    bool createdServersRegister = true;
    // Called with each server a client starts, before the client gets it: a test sets up a server that the code
    // under test starts itself.
    std::function<void(ServerDouble&)> serverStarted;

    QHash<QString, DiskFile> disk;
    // The password a file needs to be opened, by path; SaveAs with a password sets it.
    QHash<QString, QString> passwords;
    QHash<QString, ExcelWorkbook> workbookFiles;

private:
    void install(const QString& progId);
};

// How the double renders a value in its log.
QString DescribeValue(const OleVariant& value);

} // namespace velmora::test
