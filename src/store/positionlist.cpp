#include "positionlist.h"

#include "common/textcodec.h"
#include "pathfold.h"

namespace velmora {

PositionList::PositionList(const QString& existing) : m_text(existing) {
    for (const QString& path : pathsOf(existing)) {
        m_listed.insert(FoldAsciiCase(path));
    }
}

bool PositionList::contains(const QString& path) const {
    return m_listed.contains(FoldAsciiCase(path));
}

bool PositionList::add(qint64 position, const QString& path) {
    const QString key = FoldAsciiCase(path);
    if (m_listed.contains(key)) {
        return false;
    }
    m_listed.insert(key);
    m_text += QString::number(position);
    m_text += u'|';
    m_text += path;
    m_text += QStringLiteral("\r\n");
    return true;
}

QStringList PositionList::pathsOf(const QString& text) {
    QStringList paths;
    for (const QString& line : SplitLines(text)) {
        const qsizetype bar = line.indexOf(u'|');
        if (bar >= 0) {
            paths.append(line.mid(bar + 1));
        }
    }
    return paths;
}

} // namespace velmora
