// Holds the single-instance lock at the path given until killed, so the
// start-up test can watch a second copy being refused.
#include "app/singleinstance.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    lckb::SingleInstance lock(QString::fromLocal8Bit(argv[1]));
    if (!lock.tryAcquire()) {
        std::puts("refused");
        return 1;
    }
    std::puts("locked");
    std::fflush(stdout);
    return app.exec();
}
