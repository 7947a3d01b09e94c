#include "desktop/application.h"

#include "desktop/platform.h"
#include "desktop/windowhints.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QNetworkProxyFactory>
#include <QTranslator>

namespace lckb {

void setUpApplication(const QIcon &icon)
{
    // The name desktops show for the program: the tray's list of icons
    // (StatusNotifier Title), notifications, the sound mixer. The desktop
    // entry, the windows' class and the Wayland app id stay "lckb".
    QApplication::setApplicationName(QStringLiteral("澜策快报"));
    QGuiApplication::setDesktopFileName(QStringLiteral("lckb"));
    keepWindowClass();
    QApplication::setApplicationVersion(QStringLiteral(LCKB_VERSION));
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(icon);
    // Every text Qt draws itself (buttons of the message boxes, the menus of
    // text boxes and pages) in Chinese, whatever the user's locale: all the
    // program's own text is Chinese. Where Qt's translations are not
    // installed, the message boxes still name their buttons themselves.
    for (const char *catalogue : {"qtbase_zh_CN", "qtwebengine_zh_CN"}) {
        auto *t = new QTranslator(qApp);
        if (t->load(QLatin1String(catalogue), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QCoreApplication::installTranslator(t);
        else
            delete t;
    }
}

std::unique_ptr<QApplication> makeApplication(int &argc, char **argv, const QStringList &arguments)
{
    const QString platform = platformToRequest(platformContextFromEnvironment(arguments));
    if (!platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", platform.toLatin1());
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    auto app = std::make_unique<QApplication>(argc, argv);
    if (!platform.isEmpty())
        qunsetenv("QT_QPA_PLATFORM");
    // The polls go through the proxy the desktop is set to, as the page does.
    QNetworkProxyFactory::setUseSystemConfiguration(true);
    return app;
}

} // namespace lckb
