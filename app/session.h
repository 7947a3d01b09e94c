#pragma once
// The state the whole program shares: the server line table and the line in
// use, the remembered login, the program folder, the clock and the timer
// intervals. One instance lives for the whole run; tests make their own.
#include "clock.h"
#include "external.h"
#include "settings.h"
#include "startup.h"

#include <QString>

namespace lckb {

struct Intervals
{
    int poll = 30000;        // Form1.Timer1: the reminder poll
    int runLimit = 60000;    // Form1.Timer2: the running-limit check
    int loginFill = 2000;    // Form1.dl: the login fill
    int popupTick = 60000;   // Form2.Timer1: a pop-up closes on its third tick
    int fetchLimit = 15000;  // time limit of one page fetch
    int trayRetry = 2000;    // retry showing the tray icon while there is no tray
    int systemBrowserGap = 1000; // least time between two addresses handed to the system's browser
};

struct Session
{
    ServerLineTable ServerLine = defaultServerLines(); // base addresses of the four lines
    int LineIndex = 0;     // the line in use, 0..3
    QString strUser;       // remembered login name of the service page
    QString strPass;       // remembered login password
    QString appDir = AppDir();
    const Clock *clock = SystemClock::instance();
    Intervals intervals;

    QString iniPath() const { return iniPathIn(appDir); }
    // The base address of the line in use; an index without a line means line 0.
    QString serverBase() const { return ServerLine[size_t(validLineIndex(LineIndex))]; }
    QString mainPageUrl() const { return serverBase() + QLatin1String(kMainPagePath); }
};

} // namespace lckb
