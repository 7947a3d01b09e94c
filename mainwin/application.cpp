#include "mainwin/application.h"

#include "app/platform.h"
#include "prefs/appicon.h"

#include <QNetworkProxyFactory>

namespace lckb {

std::unique_ptr<QApplication> makeApplication(int &argc, char **argv, const QStringList &arguments)
{
    const QString platform = platformToRequest(platformContextFromEnvironment(arguments));
    if (!platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", platform.toLatin1());
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    auto app = std::make_unique<QApplication>(argc, argv);
    if (!platform.isEmpty())
        qunsetenv("QT_QPA_PLATFORM");
    setUpApplication();
    // The polls go through the proxy the desktop is set to, as the page does.
    QNetworkProxyFactory::setUseSystemConfiguration(true);
    return app;
}

} // namespace lckb
