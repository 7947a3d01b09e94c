#pragma once
// What a detected change turns into: a pop-up on screen and a sound.
//
// The reminder poll talks to an AlertSink; Alerts is the real one. It keeps
// the count of pop-ups raised, closes the older ones so that at most three
// are open, and gets the main window out of the way. The windows themselves
// belong to the main window, which implements AlertHost.
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

namespace lckb {

// What a new pop-up is filled with.
struct PopupData
{
    int lblIndex;    // the pop-up's sequence number: MsnCount when it was raised
    QString ZuName;  // group name of the item
    QString Ziname;  // item title
    QString ZiUrl;   // full address of the item's page
};

// What the reminder poll calls for each changed channel.
class AlertSink
{
public:
    virtual ~AlertSink();
    // ShowMsn: raise one pop-up for one item.
    virtual void ShowMsn(const QString &ZuName, const QString &Ziname, const QString &ZiUrl) = 0;
    // PlayWavFile: play strFileName; PlayCount 0 means no sound, JianGe is the
    // interval between plays and has no effect.
    virtual void PlayWavFile(const QString &strFileName, int PlayCount, int JianGe) = 0;
};

// The main window's side of raising a pop-up.
class AlertHost
{
public:
    virtual ~AlertHost();
    virtual bool mainWindowVisible() const = 0;
    // The program's active window is the main window.
    virtual bool mainWindowIsActive() const = 0;
    virtual void minimizeMainWindow() = 0;
    // Creates, places and fills a pop-up without showing it. The object is the
    // pop-up's handle for showPopup and closePopup; it may delete itself when
    // the pop-up closes.
    virtual QObject *createPopup(const PopupData &d) = 0;
    virtual void showPopup(QObject *popup) = 0;
    virtual void closePopup(QObject *popup) = 0;
};

// Plays one sound file without waiting for it.
class SoundPlayer
{
public:
    virtual ~SoundPlayer();
    virtual void play(const QString &file) = 0;
};

class Alerts : public QObject, public AlertSink
{
    Q_OBJECT
public:
    Alerts(AlertHost &host, SoundPlayer &player, QObject *parent = nullptr);

    void ShowMsn(const QString &ZuName, const QString &Ziname, const QString &ZiUrl) override;
    void PlayWavFile(const QString &strFileName, int PlayCount, int JianGe) override;

    // MsnCount: the number of pop-ups raised since start.
    int MsnCount() const { return m_msnCount; }
    // Sequence numbers of the pop-ups still open, oldest first.
    QList<int> openPopupIndexes() const;

private:
    struct OpenPopup
    {
        QPointer<QObject> window; // null once the pop-up has gone
        int lblIndex;
    };

    AlertHost &m_host;
    SoundPlayer &m_player;
    int m_msnCount = 0;
    QList<OpenPopup> m_open;
};

} // namespace lckb
