#pragma once

#include <QString>
#include <QStringList>

namespace velmora {

// The settings list holds "key=value" lines. Keys are matched as case-sensitive line prefixes, and a key that
// is not in the list is never added: the delivered settings file carries every key.
QString GetSetting(const QString& key, const QStringList& list);
void SetSetting(const QString& key, const QString& value, QStringList& list);

} // namespace velmora
