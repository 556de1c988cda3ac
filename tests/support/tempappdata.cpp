#include "tempappdata.h"

#include "common/appfolder.h"

#include <QFile>

namespace velmora::test {

TempAppData::TempAppData() {
    SetAppDataFolder(m_dir.path());
}

TempAppData::~TempAppData() {
    SetAppDataFolder({});
}

QString TempAppData::path() const {
    return AppDataFolder();
}

QString TempAppData::file(const QString& name) const {
    return path() + name;
}

QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(bytes);
    }
}

} // namespace velmora::test
