#pragma once

#include <QHash>
#include <QMultiHash>
#include <QSet>
#include <QString>

#include <utility>

namespace velmora {

class TWordMgr;

// The files the library's live records hold. One file has many spellings (a linked folder, a second hard link,
// letter case), so a file is held when its path equals a record's path as the library compares paths, or when
// it is the same file (device and inode) as the one a record's path reaches. Two live records must never hold
// one file: every change that gives a record a path (add, restore, a move, relink) asks here first.
class HeldFiles final {
public:
    HeldFiles() = default;
    explicit HeldFiles(const TWordMgr& store);

    // The live record, other than those in `except`, that holds the file at path; -1 when none does.
    qint64 holder(const QString& path, const QSet<qint64>& except = {}) const;
    bool holds(const QString& path, const QSet<qint64>& except = {}) const { return holder(path, except) >= 0; }
    // Record `position` holds path from now on.
    void add(qint64 position, const QString& path);

private:
    using FileId = std::pair<quint64, quint64>;
    QMultiHash<QString, qint64> m_paths;
    QMultiHash<FileId, qint64> m_files;
};

} // namespace velmora
