#include "settings.h"

namespace velmora {

QString GetSetting(const QString& key, const QStringList& list) {
    for (const QString& line : list) {
        if (line.startsWith(key)) {
            return line.mid(key.size() + 1);
        }
    }
    return {};
}

void SetSetting(const QString& key, const QString& value, QStringList& list) {
    for (QString& line : list) {
        if (line.startsWith(key)) {
            line = key + u'=' + value;
            return;
        }
    }
}

} // namespace velmora
