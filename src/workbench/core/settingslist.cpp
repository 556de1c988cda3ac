#include "workbench/core/settingslist.h"

#include "common/settings.h"
#include "common/textcodec.h"
#include "workbench/core/texts.h"

#include <QFile>

namespace velmora {

namespace {

const QStringList& defaultLines() {
    static const QStringList lines{
        QStringLiteral("ImportDir="),
        QStringLiteral("SaveAsDir="),
        QStringLiteral("SortType=") + kTitleSortKey,
        QStringLiteral("WinPosLTHW="),
        QStringLiteral("LastTag="),
        QStringLiteral("LastNode=-1"),
        QStringLiteral("AutoGoBack=0"),
        QStringLiteral("AutoSaveInterval=5"),
    };
    return lines;
}

} // namespace

QString SettingName(SettingKey key) {
    switch (key) {
    case SettingKey::ImportDir:
        return QStringLiteral("ImportDir");
    case SettingKey::SaveAsDir:
        return QStringLiteral("SaveAsDir");
    case SettingKey::SortType:
        return QStringLiteral("SortType");
    case SettingKey::WinPosLTHW:
        return QStringLiteral("WinPosLTHW");
    case SettingKey::LastTag:
        return QStringLiteral("LastTag");
    case SettingKey::LastNode:
        return QStringLiteral("LastNode");
    case SettingKey::AutoGoBack:
        return QStringLiteral("AutoGoBack");
    case SettingKey::AutoSaveInterval:
        return QStringLiteral("AutoSaveInterval");
    }
    return {};
}

void SettingsList::load(const QString& path) {
    m_path = path;
    if (QFile::exists(path)) {
        m_lines = ReadTextFile(path);
        return;
    }
    m_lines = defaultLines();
    save();
}

void SettingsList::save() const {
    WriteTextFile(m_path, m_lines);
}

QString SettingsList::value(SettingKey key) const {
    return GetSetting(SettingName(key), m_lines);
}

QString SettingsList::value(const QString& name) const {
    return GetSetting(name, m_lines);
}

int SettingsList::number(SettingKey key, int fallback) const {
    bool ok = false;
    const int number = value(key).trimmed().toInt(&ok);
    return ok ? number : fallback;
}

void SettingsList::set(SettingKey key, const QString& value) {
    SetSetting(SettingName(key), value, m_lines);
}

} // namespace velmora
