#pragma once
#include <QString>
#include <QStringList>

namespace lckb {

// The Qt platform plugin to ask for before the application object exists,
// from the environment and the command line; empty leaves Qt's own choice.
// In a Wayland session with XWayland (DISPLAY set) the program runs on
// XWayland, where it can place its pop-ups; Wayland stays the fallback when
// the X display does not answer. A platform the user chose
// (QT_QPA_PLATFORM, -platform) is never overruled.
struct PlatformContext
{
    QString qpaPlatform;    // QT_QPA_PLATFORM
    QString waylandDisplay; // WAYLAND_DISPLAY
    QString display;        // DISPLAY
    QString sessionType;    // XDG_SESSION_TYPE
    QStringList arguments;  // the command line, program name first
};

inline QString platformToRequest(const PlatformContext &c)
{
    if (!c.qpaPlatform.isEmpty())
        return {};
    for (const QString &a : c.arguments.mid(1))
        if (a == QLatin1String("-platform") || a == QLatin1String("--platform"))
            return {};
    const bool wayland = !c.waylandDisplay.isEmpty() || c.sessionType == QLatin1String("wayland");
    if (!wayland || c.display.isEmpty())
        return {};
    return QStringLiteral("xcb;wayland");
}

inline PlatformContext platformContextFromEnvironment(const QStringList &arguments)
{
    return {qEnvironmentVariable("QT_QPA_PLATFORM"), qEnvironmentVariable("WAYLAND_DISPLAY"),
            qEnvironmentVariable("DISPLAY"), qEnvironmentVariable("XDG_SESSION_TYPE"), arguments};
}

} // namespace lckb
