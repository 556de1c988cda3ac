#include "readfile.h"

#include "errors.h"

#include <QFile>

namespace velmora {

QByteArray ReadWholeFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw VelmoraError(QStringLiteral("无法读取文件 %1: %2").arg(path, file.errorString()), path);
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        throw VelmoraError(QStringLiteral("无法读取文件 %1: %2").arg(path, file.errorString()), path);
    }
    return bytes;
}

} // namespace velmora
