#pragma once

#include <QByteArray>
#include <QString>

namespace velmora {

// A whole file mapped read-only, with its pages mapped up front: a scan then touches memory that is already
// there instead of faulting page by page.
class MappedFile final {
public:
    MappedFile() = default;
    ~MappedFile();
    Q_DISABLE_COPY_MOVE(MappedFile)

    // False when the file cannot be mapped (missing, empty, not a regular file); the caller reads it instead.
    bool map(const QString& path);
    // The mapped bytes without a copy; valid while this object lives.
    QByteArray bytes() const;

private:
    void* m_data = nullptr;
    qsizetype m_size = 0;
};

} // namespace velmora
