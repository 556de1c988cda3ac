#include "dbtool.h"

#include <QStringList>
#include <QTextStream>

#include <cstdio>
#include <mutex>

namespace {

// The indexer's reader: a document whose text was cut is indexed with what was kept, and the user is told. The
// workers read in parallel, so each note is one whole line.
velmora::DocumentText readNotingCuts(const QString& path) {
    velmora::DocumentText read = velmora::ReadDocumentText(path);
    if (read.ok() && !read.note.isEmpty()) {
        static std::mutex mutex;
        const QByteArray line = "velmoradb: note: " + path.toUtf8() + ": " + read.note.toUtf8() + '\n';
        const std::lock_guard<std::mutex> lock(mutex);
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
        std::fflush(stderr);
    }
    return read;
}

} // namespace

// velmoradb with the document reader: velmoradb hands it the index command.
int main(int argc, char* argv[]) {
    const QStringList args = velmora::DecodeArguments(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    return velmora::RunDbTool(args, out, err, &readNotingCuts);
}
