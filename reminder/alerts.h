#pragma once
// What a detected change turns into: a pop-up on screen and a sound.
//
// The reminder poll talks to an AlertSink; Alerts is the real one. It keeps
// the count of pop-ups raised, closes the older ones so that at most three
// are open, and gets the main window out of the way. The windows themselves
// are made by an AlertHost.
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

namespace lckb {

// What a pop-up shows and opens.
struct PopupData
{
    int sequence = 0; // the pop-up's number: the count of pop-ups raised when it was
    QString group;    // group name of the item
    QString title;    // item title
    QString url;      // full address of the item's page
};

// What the reminder poll calls for each changed channel.
class AlertSink
{
public:
    virtual ~AlertSink();
    // Raise one pop-up for one item.
    virtual void announce(const QString &group, const QString &title, const QString &url) = 0;
    // Play `file`; a play count of 0 means no sound.
    virtual void playSound(const QString &file, int playCount) = 0;
};

// The windows' side of raising a pop-up.
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

    void announce(const QString &group, const QString &title, const QString &url) override;
    void playSound(const QString &file, int playCount) override;

    // The number of pop-ups raised since start.
    int popupCount() const { return m_popupCount; }
    // Sequence numbers of the pop-ups still open, oldest first.
    QList<int> openPopupSequences() const;

signals:
    // A pop-up was raised (shown) for `data`.
    void announced(const lckb::PopupData &data);

private:
    struct OpenPopup
    {
        QPointer<QObject> window; // null once the pop-up has gone
        int sequence;
    };

    AlertHost &m_host;
    SoundPlayer &m_player;
    int m_popupCount = 0;
    QList<OpenPopup> m_open;
};

} // namespace lckb
