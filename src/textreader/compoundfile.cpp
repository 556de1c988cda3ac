#include "compoundfile.h"

#include "readfailure.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-utils.h>

#include <mutex>

namespace velmora::textreader {

namespace {

void dropMessage(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

void initialiseOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        gsf_init();
        // libgsf prints a warning for every oddity of a damaged file; the reader reports the damage in its
        // result instead, and a command indexing thousands of files must not fill the terminal.
        const auto levels = GLogLevelFlags(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE |
                                           G_LOG_LEVEL_INFO | G_LOG_LEVEL_DEBUG);
        for (const char* domain : {"libgsf:msole", "libgsf"}) {
            g_log_set_handler(domain, levels, dropMessage, nullptr);
        }
    });
}

struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};

} // namespace

struct CompoundFile::Handles {
    std::unique_ptr<GsfInput, ObjectUnref> source;
    std::unique_ptr<GsfInfile, ObjectUnref> root;
};

CompoundFile::CompoundFile(QByteArrayView bytes) : m_handles(std::make_unique<Handles>()) {
    initialiseOnce();
    // The memory input borrows the bytes; they outlive this object by contract of the callers.
    m_handles->source.reset(
        gsf_input_memory_new(reinterpret_cast<const guint8*>(bytes.data()), gsf_off_t(bytes.size()), FALSE));
    if (!m_handles->source) {
        Damaged(QStringLiteral("the compound file cannot be opened"));
    }
    GError* error = nullptr;
    m_handles->root.reset(gsf_infile_msole_new(m_handles->source.get(), &error));
    if (!m_handles->root) {
        const QString why = error ? QString::fromUtf8(error->message) : QStringLiteral("unknown reason");
        if (error) {
            g_error_free(error);
        }
        Damaged(QStringLiteral("the compound file is damaged: %1").arg(why));
    }
}

CompoundFile::~CompoundFile() = default;

bool CompoundFile::hasSignature(QByteArrayView bytes) {
    return bytes.startsWith(QByteArrayView("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8));
}

bool CompoundFile::contains(const char* name) const {
    std::unique_ptr<GsfInput, ObjectUnref> child(gsf_infile_child_by_name(m_handles->root.get(), name));
    return child != nullptr;
}

QByteArray CompoundFile::read(const char* name, qint64 limit) const {
    std::unique_ptr<GsfInput, ObjectUnref> child(gsf_infile_child_by_name(m_handles->root.get(), name));
    if (!child) {
        Damaged(QStringLiteral("the stream %1 is missing").arg(QLatin1String(name)));
    }
    const gsf_off_t size = gsf_input_size(child.get());
    if (size < 0 || size > limit) {
        Fail(TextReadStatus::TooLarge, QStringLiteral("the stream %1 has %2 bytes").arg(QLatin1String(name)).arg(size));
    }
    QByteArray data(qsizetype(size), Qt::Uninitialized);
    if (size > 0 && !gsf_input_read(child.get(), size_t(size), reinterpret_cast<guint8*>(data.data()))) {
        Damaged(QStringLiteral("the stream %1 cannot be read whole").arg(QLatin1String(name)));
    }
    return data;
}

} // namespace velmora::textreader
