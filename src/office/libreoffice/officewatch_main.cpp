#include "officewatch.h"

#include <QByteArray>
#include <QString>

#include <cstdio>

// velmora-officewatch LOCK-FILE OFFICE-PID PIPE: left behind by the Velmora that starts the main office; ends that
// office once no Velmora uses it and it holds no document, and ends with it. No application object: it runs no
// event loop and should cost nothing while it waits.
int main(int argc, char* argv[]) {
    bool pidOk = false;
    const qint64 pid = argc == 4 ? QByteArray(argv[2]).toLongLong(&pidOk) : 0;
    if (!pidOk || pid <= 0) {
        std::fputs("usage: velmora-officewatch LOCK-FILE OFFICE-PID PIPE\n", stderr);
        return 2;
    }
    return velmora::lo::RunOfficeWatch(QString::fromLocal8Bit(argv[1]), pid, QString::fromUtf8(argv[3]));
}
