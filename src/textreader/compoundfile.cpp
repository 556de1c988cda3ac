#include "compoundfile.h"

#include "readfailure.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-utils.h>

#include <cstring>
#include <mutex>

namespace velmora::textreader {

namespace {

// Set while this thread is inside libgsf for a read of ours.
thread_local int t_inRead = 0;

// libgsf prints a warning for every oddity of a damaged file, some of them without a log domain of their own;
// the reader reports the damage in its result instead, and a command indexing thousands of files must not fill
// the terminal with another library's words. Messages of the same domains from anything else, or from another
// thread meanwhile, go on to GLib's usual handler.
void quietDuringReads(const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer) {
    if (t_inRead > 0) {
        return;
    }
    g_log_default_handler(domain, level, message, nullptr);
}

void initialiseOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        gsf_init();
        const auto levels = GLogLevelFlags(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE |
                                           G_LOG_LEVEL_INFO | G_LOG_LEVEL_DEBUG);
        for (const char* domain :
             {static_cast<const char*>(nullptr), "libgsf:msole", "libgsf", "GLib", "GLib-GObject", "GLib-GIO"}) {
            g_log_set_handler(domain, levels, quietDuringReads, nullptr);
        }
    });
}

// Marks a stretch of libgsf calls made for a read.
struct InRead {
    InRead() { ++t_inRead; }
    ~InRead() { --t_inRead; }
    Q_DISABLE_COPY_MOVE(InRead)
};

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
    const InRead quiet;
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

CompoundFile::~CompoundFile() {
    const InRead quiet;
    m_handles.reset();
}

bool CompoundFile::hasSignature(QByteArrayView bytes) {
    return bytes.startsWith(QByteArrayView("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8));
}

bool CompoundFile::contains(const char* name) const {
    const InRead quiet;
    std::unique_ptr<GsfInput, ObjectUnref> child(gsf_infile_child_by_name(m_handles->root.get(), name));
    return child != nullptr;
}

bool CompoundFile::lists(const char* name) const {
    const InRead quiet;
    const int count = gsf_infile_num_children(m_handles->root.get());
    for (int i = 0; i < count; ++i) {
        const char* listed = gsf_infile_name_by_index(m_handles->root.get(), i);
        if (listed != nullptr && std::strcmp(listed, name) == 0) {
            return true;
        }
    }
    return false;
}

QByteArray CompoundFile::read(const char* name, qint64 limit) const {
    const InRead quiet;
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
