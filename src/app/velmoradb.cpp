#include "dbtool.h"

#include <QStringList>
#include <QTextStream>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include <unistd.h>

// No application object: the tool runs no event loop, and every millisecond of start-up is paid by each
// command a script runs.
int main(int argc, char* argv[]) {
    const QStringList args = velmora::DecodeArguments(argc, argv);
    if (velmora::NeedsDocumentReader(args)) {
        // Indexing and relinking need the document reader and its libraries, which the other commands should not pay
        // for at start-up: it is done by the program beside this one.
        char self[4096];
        const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
        std::string indexer = length > 0 ? std::string(self, size_t(length)) : std::string(argv[0]);
        indexer = indexer.substr(0, indexer.find_last_of('/') + 1) + "velmoradb-index";
        argv[0] = indexer.data();
        ::execv(indexer.c_str(), argv);
        std::fprintf(stderr, "velmoradb: cannot start %s: %s\n", indexer.c_str(), std::strerror(errno));
        return 1;
    }
    QTextStream out(stdout);
    QTextStream err(stderr);
    return velmora::RunDbTool(args, out, err);
}
