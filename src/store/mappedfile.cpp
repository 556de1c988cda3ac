#include "mappedfile.h"

#include <QFile>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

MappedFile::~MappedFile() {
    if (m_data != nullptr) {
        ::munmap(m_data, size_t(m_size));
    }
}

bool MappedFile::map(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat facts {};
    if (::fstat(fd, &facts) != 0 || !S_ISREG(facts.st_mode) || facts.st_size <= 0) {
        ::close(fd);
        return false;
    }
    void* data = ::mmap(nullptr, size_t(facts.st_size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    ::close(fd);
    if (data == MAP_FAILED) {
        return false;
    }
    m_data = data;
    m_size = qsizetype(facts.st_size);
    return true;
}

QByteArray MappedFile::bytes() const {
    return QByteArray::fromRawData(static_cast<const char*>(m_data), m_size);
}

} // namespace velmora
