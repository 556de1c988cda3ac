#pragma once

#include <QString>
#include <QTemporaryDir>

namespace velmora::test {

// A fresh, empty appdata folder for one test, made the program's appdata folder while it lives.
class TempAppData final {
public:
    TempAppData();
    ~TempAppData();
    Q_DISABLE_COPY_MOVE(TempAppData)

    // The folder, with a trailing delimiter.
    QString path() const;
    QString file(const QString& name) const;

private:
    QTemporaryDir m_dir;
};

// The contents of a file, or an empty array when it cannot be read.
QByteArray ReadBytes(const QString& path);
void WriteBytes(const QString& path, const QByteArray& bytes);

} // namespace velmora::test
