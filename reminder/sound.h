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
    // The file of the last request that reached the sound effect, and
    // whether it is playing (without an output: claims to, for ever).
    QString source() const;
    bool playing() const;

private:
    void onStatusChanged();

    QSoundEffect *m_effect = nullptr; // made on first use: no device, no effect
    bool m_waitingToPlay = false;
    bool m_deviceCheck = true;
};

} // namespace lckb
