#pragma once
// The alert sounds, played through one shared sound effect: a new request
// stops a sound that is still playing, so of several sounds requested in one
// poll the last one is heard.
#include "reminder/alerts.h"

#include <QObject>
#include <QString>

class QSoundEffect;

namespace lckb {

class EffectPlayer : public QObject, public SoundPlayer
{
    Q_OBJECT
public:
    explicit EffectPlayer(QObject *parent = nullptr);
    ~EffectPlayer() override;

    // Returns at once. Without an audio output, or with a file that cannot be
    // decoded, the request gives silence.
    void play(const QString &file) override;

    // True while a request waits for its file to load.
    bool loading() const { return m_waitingToPlay; }
    // Off: use the sound effect even without an audio output (for tests,
    // which have none, to run the loading and playing).
    void setDeviceCheck(bool on) { m_deviceCheck = on; }
    // The file of the last request that reached the sound effect; how many
    // loaded files were started (Qt 6.4 then claims to play for ever without
    // an output, later versions do not); whether one is playing.
    QString source() const;
    int started() const { return m_started; }
    bool playing() const;

private:
    void onStatusChanged();

    QSoundEffect *m_effect = nullptr; // made on first use: no device, no effect
    bool m_waitingToPlay = false;
    bool m_deviceCheck = true;
    int m_started = 0;
};

} // namespace lckb
