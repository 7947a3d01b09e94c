// Writes the program icon as PNG files of the usual sizes, for the desktop
// entry and the package: lckb-icons OUTDIR
#include "prefs/appicon.h"

#include <QDir>
#include <QGuiApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fputs("usage: lckb-icons OUTDIR\n", stderr);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(QStringLiteral(".")))
        return 1;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        if (!lckb::appIconImage(size).save(out.filePath(QStringLiteral("lckb-%1.png").arg(size))))
            return 1;
    return 0;
}
