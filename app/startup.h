#pragma once
// What the program settles before its main window appears: the
// refusal of a second copy, the table of server lines and the line in use.
#include <QLockFile>
#include <QString>
#include <QStringList>
#include <array>
#include <memory>
#include <optional>

class QCoreApplication;

namespace lckb {

// The four base addresses of the service's server ("lines"): scheme http, a
// host, an optional port, no trailing "/". Entry 3 is entry 0's host on port
// 803, whatever entry 0's own port is.
using ServerLines = std::array<QString, 4>;

inline constexpr const char *kDefaultHosts[3] = {"line1.example.com", "line2.example.com",
                                                 "line3.example.com"};

// Fills the table from three "host[:port]" entries. Returns nothing when an
// entry is not a plain host (with an optional port).
std::optional<ServerLines> makeServerLines(const QStringList &hosts);
ServerLines defaultServerLines();

// The line index as the settings file stores it: the leading decimal number
// of the text (0 when there is none), rounded to the nearest integer with
// halves going to the even neighbour.
int parseLineIndex(const QString &stored);

// An index the table has no entry for falls back to line 0.
int validLineIndex(int index);

// The line chosen last time: key xianlu of section config in `profilePath`,
// line 0 when it is absent or names no line.
int storedLineIndex(const QString &profilePath);

// Where config.ini and the scratch folder "dat" live. The program folder when
// the user can write there (a portable folder, an existing installation), so
// those keep working as they always have; otherwise (a package installed in a
// system folder) the user's own folder for the program, `configHome`/lckb,
// created with mode 0700 when it is missing. Decided once at start.
QString dataFolder(const QString &programDir, bool programDirWritable, const QString &configHome);
// The same for this process: the program folder's writability as the system
// tells it, and $XDG_CONFIG_HOME (by default ~/.config).
QString dataFolder(const QString &programDir);

// One copy per user. The lock goes stale with its holder, so a crash or a
// kill never blocks the next start. It lives in a folder only the user can
// write: $XDG_RUNTIME_DIR, else a private folder of the user's in /tmp, else
// ~/.cache/lckb.
class SingleInstance
{
public:
    explicit SingleInstance(const QString &lockPath = defaultLockPath());
    bool tryAcquire();
    static QString defaultLockPath();

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};

inline const QString kAlreadyRunningText = QStringLiteral("程序已经运行！在右下角，系统托盘区！");
inline const QString kReminderTitle = QStringLiteral("提醒"); // title of the program's questions and refusals
// Title of the messages that bring no title of their own. Written out on each
// box: an application display name would be appended to every window title.
inline const QString kAppTitle = QStringLiteral("澜策快报 LC6.1");

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
QString platformToRequest(const PlatformContext &c);
PlatformContext platformContextFromEnvironment(const QStringList &arguments);

// Command-line options.
struct Options
{
    ServerLines serverLines = defaultServerLines();
    int pollIntervalMs = 30000;  // between two reminder polls
    bool ok = true;              // false: print `message` and end with exit code 2
    bool exitNow = false;        // --help / --version were handled
    QString message;
};
Options parseOptions(const QStringList &arguments);

} // namespace lckb
