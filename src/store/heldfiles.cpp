#include "heldfiles.h"

#include "common/errors.h"
#include "pathfold.h"
#include "wordmgr.h"

#include <QFile>

#include <optional>

#include <sys/stat.h>

namespace velmora {

namespace {

// The file a path reaches, links followed: a record whose path is a link holds the file it points to.
std::optional<std::pair<quint64, quint64>> fileAt(const QString& path) {
    struct stat facts {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &facts) != 0) {
        return std::nullopt;
    }
    return std::pair<quint64, quint64>(quint64(facts.st_dev), quint64(facts.st_ino));
}

} // namespace

HeldFiles::HeldFiles(const TWordMgr& store) {
    const int count = store.GetRecNumber();
    m_paths.reserve(count);
    for (int k = 0; k < count; ++k) {
        const qint64 pos = qint64(k) * TWordRec::Size;
        const TWordRec rec = store.RecordAt(pos);
        if (rec.wdDeleted) {
            continue;
        }
        try {
            add(pos, store.StringAt(rec.wdFullNamePos));
        } catch (const VelmoraError&) {
            // A damaged item names no file.
        }
    }
}

void HeldFiles::add(qint64 position, const QString& path) {
    if (path.isEmpty()) {
        return;
    }
    m_paths.insert(FoldAsciiCase(path), position);
    if (const auto file = fileAt(path)) {
        m_files.insert(*file, position);
    }
}

qint64 HeldFiles::holder(const QString& path, const QSet<qint64>& except) const {
    const QString folded = FoldAsciiCase(path);
    for (auto it = m_paths.constFind(folded); it != m_paths.cend() && it.key() == folded; ++it) {
        if (!except.contains(it.value())) {
            return it.value();
        }
    }
    if (const auto file = fileAt(path)) {
        for (auto it = m_files.constFind(*file); it != m_files.cend() && it.key() == *file; ++it) {
            if (!except.contains(it.value())) {
                return it.value();
            }
        }
    }
    return -1;
}

} // namespace velmora
