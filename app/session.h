#pragma once
// The state the whole program shares: the server lines, the folders, the
// clock, the timer intervals and the user's choices. One instance lives for
// the whole run; tests make their own.
#include "app/choices.h"
#include "app/clock.h"
#include "app/external.h"
#include "app/settings.h"
#include "app/timing.h"
#include "app/serverlines.h"

#include <QString>
#include <QStringList>

namespace lckb {

struct Intervals
{
    int poll = kPollIntervalMs; // between two reminder polls
    int runLimit = 60000;    // between two looks at the running limit
    int loginFill = 2000;    // between two login fills
    int popupTick = 60000;   // a pop-up closes on its third tick
    int fetchLimit = kFetchLimitMs; // time limit of one page fetch
    int trayRetry = 2000;    // retry showing the tray icon while there is no tray
    int systemBrowserGap = 1000; // least time between two addresses handed to the system's browser
    int pageFreeze = kRestGraceMs;  // a page out of sight so long is frozen
    int pageDiscard = kRestAfterMs; // and so long discarded
};

class Session
{
public:
    explicit Session(const QString &programDir = programFolder(), const QString &dataDir = {})
    {
        useFolders(programDir, dataDir);
    }

    // `programDir` holds the program and its sounds; `dataDir` (the program
    // folder when empty) holds config.ini and the scratch folder.
    void useFolders(const QString &programDir, const QString &dataDir = {})
    {
        m_programDir = programDir;
        m_dataDir = dataDir.isEmpty() ? programDir : dataDir;
        choices.setProfilePath(profilePathIn(m_dataDir));
    }
    QString programDir() const { return m_programDir; }
    QString dataDir() const { return m_dataDir; }
    QString profilePath() const { return profilePathIn(m_dataDir); }

    ServerLines serverLines = defaultServerLines(); // base addresses of the four lines
    // Files outside the data folder, settled at start. Empty: none (a test
    // that does not ask for them writes nothing of the user's).
    QString recentFile;       // the bulletins announced, kept across runs
    QString autostartFile;    // the desktop's autostart entry for this program
    QStringList startCommand; // the program and what a start by the desktop repeats of its arguments
    // Started in the tray: the page (and the browser engine) is made when
    // the user first opens the window or a bulletin.
    bool startInTray = false;
    const Clock *clock = SystemClock::instance();
    Intervals intervals;
    UserChoices choices;

    // The base address of the line in use.
    QString serverBase() const { return serverLines[size_t(validLineIndex(choices.lineIndex()))]; }
    QString mainPageUrl() const { return serverBase() + QLatin1String(kMainPagePath); }

private:
    QString m_programDir;
    QString m_dataDir;
};

} // namespace lckb
