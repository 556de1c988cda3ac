#include "sqlitemirror.h"

#include "common/errors.h"
#include "store/wordmgr.h"

#include <sqlite3.h>

namespace velmora::bench {

namespace {

[[noreturn]] void fail(sqlite3* db, const QString& what) {
    throw VelmoraError(QStringLiteral("SQLite: %1: %2").arg(what, QString::fromUtf8(sqlite3_errmsg(db))));
}

void exec(sqlite3* db, const char* sql) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        fail(db, QString::fromUtf8(sql));
    }
}

sqlite3_stmt* prepare(sqlite3* db, const QString& sql) {
    sqlite3_stmt* stmt = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v3(db, text.constData(), int(text.size()), SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) !=
        SQLITE_OK) {
        fail(db, sql);
    }
    return stmt;
}

void bindText(sqlite3_stmt* stmt, int index, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    sqlite3_bind_text(stmt, index, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
}

void stepDone(sqlite3* db, sqlite3_stmt* stmt) {
    if (sqlite3_step(stmt) != SQLITE_DONE) {
        fail(db, QStringLiteral("insert"));
    }
    sqlite3_reset(stmt);
}

QString sqlQuoted(const QString& text) {
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

} // namespace

void WriteSqliteMirror(const TWordMgr& store, const QString& sqliteFile) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(sqliteFile.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        const QString message = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_close(db);
        throw VelmoraError(QStringLiteral("SQLite: cannot open %1: %2").arg(sqliteFile, message), sqliteFile);
    }
    try {
        exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN;"
                 "CREATE TABLE documents(id INTEGER PRIMARY KEY, path TEXT NOT NULL COLLATE NOCASE,"
                 " tags TEXT, password TEXT, score INTEGER NOT NULL, created REAL NOT NULL, accessed REAL NOT NULL,"
                 " reads INTEGER NOT NULL, edits INTEGER NOT NULL, archive INTEGER NOT NULL,"
                 " deleted INTEGER NOT NULL);"
                 "CREATE TABLE doc_tags(doc_id INTEGER NOT NULL REFERENCES documents(id),"
                 " tag TEXT NOT NULL COLLATE NOCASE);");
        sqlite3_stmt* insertDoc =
            prepare(db, QStringLiteral("INSERT INTO documents VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)"));
        sqlite3_stmt* insertTag = prepare(db, QStringLiteral("INSERT INTO doc_tags VALUES(?1, ?2)"));
        const int count = store.GetRecNumber();
        for (int k = 0; k < count; ++k) {
            const qint64 pos = qint64(k) * TWordRec::Size;
            const TWordRec rec = store.RecordAt(pos);
            const QString tags = store.StringAt(rec.wdTagsPos);
            sqlite3_bind_int64(insertDoc, 1, pos);
            bindText(insertDoc, 2, store.StringAt(rec.wdFullNamePos));
            if (rec.wdTagsPos >= 0) {
                bindText(insertDoc, 3, tags);
            } else {
                sqlite3_bind_null(insertDoc, 3);
            }
            if (rec.wdPasswordPos >= 0) {
                bindText(insertDoc, 4, store.StringAt(rec.wdPasswordPos));
            } else {
                sqlite3_bind_null(insertDoc, 4);
            }
            sqlite3_bind_int(insertDoc, 5, rec.wdScore);
            sqlite3_bind_double(insertDoc, 6, rec.wdCreateTime);
            sqlite3_bind_double(insertDoc, 7, rec.wdAccessTime);
            sqlite3_bind_int(insertDoc, 8, rec.wdReadTimes);
            sqlite3_bind_int(insertDoc, 9, rec.wdEditTimes);
            sqlite3_bind_int(insertDoc, 10, rec.wdArchive ? 1 : 0);
            sqlite3_bind_int(insertDoc, 11, rec.wdDeleted ? 1 : 0);
            stepDone(db, insertDoc);
            if (rec.wdTagsPos < 0) {
                continue;
            }
            for (const QString& tag : SplitStoredTags(tags)) {
                if (!tag.isEmpty()) {
                    sqlite3_bind_int64(insertTag, 1, pos);
                    bindText(insertTag, 2, tag);
                    stepDone(db, insertTag);
                }
            }
        }
        sqlite3_finalize(insertDoc);
        sqlite3_finalize(insertTag);
        // Indexes built after the rows load faster and come out denser, as a bulk import would do it.
        exec(db, "CREATE INDEX documents_path ON documents(path COLLATE NOCASE);"
                 "CREATE INDEX doc_tags_tag ON doc_tags(tag COLLATE NOCASE, doc_id);"
                 "COMMIT; ANALYZE;");
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
    sqlite3_close(db);
}

QString TagQuerySql(const QStringList& tags, bool literal) {
    QStringList items;
    for (qsizetype i = 0; i < tags.size(); ++i) {
        items.append(literal ? sqlQuoted(tags.at(i)) : QStringLiteral("?%1").arg(i + 1));
    }
    return QStringLiteral("SELECT DISTINCT d.id, d.path FROM doc_tags t JOIN documents d ON d.id = t.doc_id"
                          " WHERE t.tag IN (%1) AND d.deleted = 0 ORDER BY d.id;")
        .arg(items.join(QStringLiteral(", ")));
}

SqliteLibrary::SqliteLibrary(const QString& sqliteFile, const QStringList& queryTags) {
    if (sqlite3_open_v2(sqliteFile.toUtf8().constData(), &m_db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        const QString message = QString::fromUtf8(sqlite3_errmsg(m_db));
        sqlite3_close(m_db);
        throw VelmoraError(QStringLiteral("SQLite: cannot open %1: %2").arg(sqliteFile, message), sqliteFile);
    }
    // A program holding its library open would give SQLite room to keep the whole file cached.
    exec(m_db, "PRAGMA cache_size=-131072;");
    m_tagQuery = prepare(m_db, TagQuerySql(queryTags, false));
    for (qsizetype i = 0; i < queryTags.size(); ++i) {
        bindText(m_tagQuery, int(i + 1), queryTags.at(i));
    }
    m_docInBase = prepare(m_db, QStringLiteral("SELECT 1 FROM documents WHERE path = ?1 AND deleted = 0 LIMIT 1"));
}

SqliteLibrary::~SqliteLibrary() {
    sqlite3_finalize(m_tagQuery);
    sqlite3_finalize(m_docInBase);
    sqlite3_close(m_db);
}

QString SqliteLibrary::TagQuery(int& count) {
    QString list;
    count = 0;
    int rc;
    while ((rc = sqlite3_step(m_tagQuery)) == SQLITE_ROW) {
        const auto* path = reinterpret_cast<const char*>(sqlite3_column_text(m_tagQuery, 1));
        list += QString::number(sqlite3_column_int64(m_tagQuery, 0));
        list += QLatin1Char('|');
        list += QString::fromUtf8(path, sqlite3_column_bytes(m_tagQuery, 1));
        list += QStringLiteral("\r\n");
        ++count;
    }
    sqlite3_reset(m_tagQuery);
    if (rc != SQLITE_DONE) {
        fail(m_db, QStringLiteral("tag query"));
    }
    return list;
}

QList<qint64> SqliteLibrary::TagQueryIds() {
    QList<qint64> ids;
    while (sqlite3_step(m_tagQuery) == SQLITE_ROW) {
        ids.append(sqlite3_column_int64(m_tagQuery, 0));
    }
    sqlite3_reset(m_tagQuery);
    return ids;
}

bool SqliteLibrary::DocInBase(const QString& path) {
    bindText(m_docInBase, 1, path);
    const int rc = sqlite3_step(m_docInBase);
    sqlite3_reset(m_docInBase);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        fail(m_db, QStringLiteral("DocInBase"));
    }
    return rc == SQLITE_ROW;
}

} // namespace velmora::bench
