#pragma once

#include <QSet>
#include <QString>

namespace velmora {

// A position list being built: lines of "position|full path" ended by CR LF, no document listed twice. A path
// counts as listed when it equals a listed path ignoring case; the set beside the text keeps that test cheap.
class PositionList final {
public:
    // Starts from a caller's text, so that several queries can collect into one list.
    explicit PositionList(const QString& existing = {});

    bool contains(const QString& path) const;
    // Appends the line unless the path is already listed; true when it was appended.
    bool add(qint64 position, const QString& path);

    const QString& text() const { return m_text; }

    // The path of each line of a position list, in order.
    static QStringList pathsOf(const QString& text);

private:
    QString m_text;
    QSet<QString> m_listed;
};

} // namespace velmora
