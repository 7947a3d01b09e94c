#pragma once
// What a detected change turns into: a pop-up on screen and a sound.
//
// The reminder poll talks to an AlertSink; Alerts is the real one. It keeps
// the count of pop-ups raised, closes the older ones so that at most three
// are open, and has the main window make way. The pop-ups themselves are made
// by a PopupHost: windows, or desktop notifications.
#include "reminder/replyplan.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

namespace lckb {

// What the reminder poll calls for each changed channel.
class AlertSink
{
public:
    virtual ~AlertSink();
    // Raise one pop-up for the bulletin's item (one the plan marked popup).
    virtual void announce(const Bulletin &b) = 0;
    // Play a sound file, once.
    virtual void playSound(const QString &file) = 0;
};

// One pop-up, as the alerts hold it: a window or a desktop notification. It
// deletes itself once it has gone, however it went.
class PopupHandle : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    virtual void show() = 0;
    virtual void close() = 0;
};

class PopupHost
{
public:
    virtual ~PopupHost();
    // Creates, places and fills pop-up number `sequence` without showing it.
    virtual PopupHandle *createPopup(const Bulletin &b, int sequence) = 0;
};

// The main window behind the pop-ups.
class AlertBackdrop
{
public:
    virtual ~AlertBackdrop();
    // A pop-up is about to appear: the main window, visible but not the
    // active window, is minimised; otherwise it stays as it is.
    virtual void stepAside() = 0;
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
    Alerts(PopupHost &host, AlertBackdrop &backdrop, SoundPlayer &player, QObject *parent = nullptr);

    void announce(const Bulletin &b) override;
    void playSound(const QString &file) override;

    // The number of pop-ups raised since start.
    int popupCount() const { return m_popupCount; }
    // Sequence numbers of the pop-ups still open, oldest first.
    QList<int> openPopupSequences() const;

signals:
    // A pop-up was raised (shown) for `b`.
    void announced(const lckb::Bulletin &b);

private:
    struct OpenPopup
    {
        QPointer<PopupHandle> popup; // null once the pop-up has gone
        int sequence;
    };

    PopupHost &m_host;
    AlertBackdrop &m_backdrop;
    SoundPlayer &m_player;
    int m_popupCount = 0;
    QList<OpenPopup> m_open;
};

} // namespace lckb
