#pragma once

#include <QString>
#include <QStringList>

namespace velmora {

// The keys of settings.ini. The delivered file carries all of them and no key is ever added, so the list keeps
// the user's order and any line the program does not know.
enum class SettingKey { ImportDir, SaveAsDir, SortType, WinPosLTHW, LastTag, LastNode, AutoGoBack, AutoSaveInterval };

QString SettingName(SettingKey key);

// The lines of settings.ini, held for the whole run and written whole when a value must be kept.
class SettingsList final {
public:
    // Reads the file. Without one the list is the delivered defaults and the file is written at once, since
    // otherwise no setting could ever be kept; an error in that write is raised after the list is set.
    void load(const QString& path);
    void save() const;
    void clear() { m_lines.clear(); }

    QString value(SettingKey key) const;
    // The value as a whole number; `fallback` when it is empty or spoiled by hand.
    int number(SettingKey key, int fallback) const;
    void set(SettingKey key, const QString& value);

    // By the key's name, for callers that have only the text of a key.
    QString value(const QString& name) const;

    const QStringList& lines() const { return m_lines; }

private:
    QString m_path;
    QStringList m_lines;
};

} // namespace velmora
