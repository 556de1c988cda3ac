#pragma once

#include <QList>
#include <QString>
#include <QStringList>

struct sqlite3;
struct sqlite3_stmt;

namespace velmora {
class TWordMgr;
}

namespace velmora::bench {

// The schema a careful developer would give the same library in SQLite: one row per record (its id is the
// record position, so both sides answer with the same numbers), one row per (document, tag), both texts
// compared without case the way the store compares them (NOCASE folds the letters A to Z only).
void WriteSqliteMirror(const TWordMgr& store, const QString& sqliteFile);

// The documents having any of tags, each once, live ones only, by id: id and path per row. With literal the
// tags are written into the text (for the sqlite3 command); otherwise they are parameters ?1..?n.
QString TagQuerySql(const QStringList& tags, bool literal);

// A read-only connection with the two comparison queries prepared once, as a program would hold them.
class SqliteLibrary final {
public:
    SqliteLibrary(const QString& sqliteFile, const QStringList& queryTags);
    ~SqliteLibrary();
    SqliteLibrary(const SqliteLibrary&) = delete;
    SqliteLibrary& operator=(const SqliteLibrary&) = delete;

    // The result as the store gives it: "id|path" lines ended by CR LF; count receives the number of rows.
    QString TagQuery(int& count);
    QList<qint64> TagQueryIds();
    bool DocInBase(const QString& path);

private:
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_tagQuery = nullptr;
    sqlite3_stmt* m_docInBase = nullptr;
};

} // namespace velmora::bench
