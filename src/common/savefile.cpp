#include "savefile.h"

#include "errors.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <memory>
#include <vector>

namespace velmora {

void WriteAll(QIODevice& device, QByteArrayView data, const QString& name) {
    qint64 done = 0;
    while (done < data.size()) {
        const qint64 written = device.write(data.data() + done, data.size() - done);
        if (written <= 0) {
            throw VelmoraError(QStringLiteral("无法写入文件 %1: %2").arg(name, device.errorString()), name);
        }
        done += written;
    }
}

void WriteFileAtomically(const QString& path, QByteArrayView data) {
    WriteFilesAtomically({{path, data.toByteArray()}});
}

void WriteFilesAtomically(const QList<FileContent>& files) {
    std::vector<std::unique_ptr<QSaveFile>> pending;
    for (const FileContent& file : files) {
        auto out = std::make_unique<QSaveFile>(file.path);
        if (!out->open(QIODevice::WriteOnly)) {
            throw VelmoraError(QStringLiteral("无法创建文件 %1: %2").arg(file.path, out->errorString()), file.path);
        }
        WriteAll(*out, file.data, file.path);
        if (!out->flush()) {
            throw VelmoraError(QStringLiteral("无法写入文件 %1: %2").arg(file.path, out->errorString()), file.path);
        }
        pending.push_back(std::move(out));
    }
    for (auto& out : pending) {
        if (!out->commit()) {
            throw VelmoraError(QStringLiteral("无法保存文件 %1: %2").arg(out->fileName(), out->errorString()),
                               out->fileName());
        }
    }
}

} // namespace velmora
