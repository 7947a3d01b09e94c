#pragma once
// A program folder, a simulator on three lines and a session pointing at it,
// with intervals short enough for tests.
#include "reminder/alerts.h"
#include "bulletinserver.h"
#include "manualclock.h"
#include "mainwin/lineswitch.h"
#include "mainwin/mainwindow.h"
#include "mainwin/program.h"
#include "mainwin/router.h"
#include "mainwin/tray.h"
#include "prefs/channeldialog.h"
#include "prefs/choiceboxes.h"
#include "reminder/reminderpoll.h"
#include "reminder/runlimit.h"
#include "windows/bulletinpopup.h"
#include "windows/openbulletin.h"
#include "windows/saveloginform.h"
#include "app/session.h"
#include "app/settings.h"

#include "testkit.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QCoreApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QWebEngineView>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

struct RecordingPlayer : lckb::SoundPlayer
{
    QStringList played;
    void play(const QString &file) override { played << file; }
};

// The main window's controls, found by the names it gives them.
inline QCheckBox *box(const QWidget &w, const char *name) { return testkit::child<QCheckBox>(&w, name); }
inline QRadioButton *lineButton(const QWidget &w, int i)
{
    return testkit::child<QRadioButton>(&w, QStringLiteral("lineButton%1").arg(i).toLatin1().constData());
}
inline QPushButton *button(const QWidget &w, const char *name) { return testkit::child<QPushButton>(&w, name); }
inline QWebEngineView *pageView(const QWidget &w) { return testkit::child<QWebEngineView>(&w, "pageView"); }

// Shows `w` and gives it the focus, as when the user turns to another window.
inline void bringToFront(QWidget &w)
{
    w.show();
    w.activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), &w);
}

// How a test has the program start: its window on screen or only in the
// tray, and whether it waits for the service page.
enum Showing { Shown, InTray };
enum Paging { Loading, Loaded };

struct Fixture
{
    QTemporaryDir dir;
    lckb::sim::BulletinServer sim;
    lckb::ManualClock clock{QDateTime(QDate(2026, 3, 2), QTime(9, 0, 30))};
    lckb::Session session;
    RecordingPlayer player;

    Fixture()
    {
        QVERIFY(sim.listen({0, 0, 0}));
        QStringList hosts;
        for (quint16 p : sim.ports())
            hosts << QStringLiteral("127.0.0.1:%1").arg(p);
        session.serverLines = *lckb::makeServerLines(hosts);
        session.useFolders(dir.path() + QLatin1Char('/'));
        session.clock = &clock;
        // The user's autostart folder, as a desktop would read it.
        session.autostartFile = dir.filePath("config/autostart/lckb.desktop");
        session.startCommand = {dir.filePath("lckb"), "--hosts", hosts.join(u',')};
        session.intervals.poll = 3600 * 1000; // tests start polls themselves
        session.intervals.loginFill = 100;
        session.intervals.popupTick = 3600 * 1000;
        session.intervals.runLimit = 3600 * 1000;
        session.intervals.fetchLimit = 3000;
        session.intervals.trayRetry = 50;
        // A page out of sight rests only in the tests that ask.
        session.intervals.pageFreeze = session.intervals.pageDiscard = 3600 * 1000;
        // The program folder holds the two sounds, as an installed one does.
        for (const char *f : {"ts.wav", "ts1.wav"})
            QFile::copy(QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(f),
                        dir.filePath(QLatin1String(f)));
    }
    // The load steps, the main window shown or left in the tray, and when
    // asked its page waited for. The program stays the test's own, so that
    // what the test connects to it outlives it.
    lckb::MainWindow &start(lckb::Program &p, Showing showing, Paging paging = Loading)
    {
        p.start();
        if (showing == Shown)
            p.window().show();
        if (paging == Loaded)
            waitForPage(p.window());
        return p.window();
    }
    static void waitForPage(const lckb::MainWindow &w) { QTRY_VERIFY_WITH_TIMEOUT(w.pageComplete(), 20000); }
    QString ini() const { return session.profilePath(); }
    void write(const char *section, const char *key, const QString &value)
    {
        QVERIFY(lckb::writeProfile(QString::fromLatin1(section), QString::fromLatin1(key), value, ini()));
    }
    QString read(const char *section, const char *key) const
    {
        return lckb::readProfile(QString::fromLatin1(section), QString::fromLatin1(key), ini());
    }
    int pageRequests(int line) const
    {
        int n = 0;
        for (const auto &r : sim.requests(QStringLiteral("/nc/i88-61.asp")))
            if (r.port == sim.ports().at(line))
                ++n;
        return n;
    }
};
