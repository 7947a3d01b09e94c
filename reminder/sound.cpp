#include "reminder/sound.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

namespace lckb {

EffectPlayer::EffectPlayer(QObject *parent) : QObject(parent) {}

EffectPlayer::~EffectPlayer() = default;

void EffectPlayer::play(const QString &file)
{
    // With no output the effect claims to play forever and never ends; there
    // is nothing to hear anyway.
    if (m_deviceCheck && QMediaDevices::audioOutputs().isEmpty())
        return;
    if (!m_effect) {
        m_effect = new QSoundEffect(this);
        connect(m_effect, &QSoundEffect::statusChanged, this, &EffectPlayer::onStatusChanged);
    }
    m_effect->stop();
    m_waitingToPlay = true;
    // Loading is asynchronous; the same file again is already loaded.
    m_effect->setSource(QUrl::fromLocalFile(file));
    onStatusChanged();
}

void EffectPlayer::onStatusChanged()
{
    // Loading or not loaded yet: wait. A file that cannot be decoded stays silent.
    const QSoundEffect::Status status = m_effect->status();
    if (!m_waitingToPlay || (status != QSoundEffect::Ready && status != QSoundEffect::Error))
        return;
    m_waitingToPlay = false;
    if (status == QSoundEffect::Ready) {
        m_effect->play();
        ++m_started;
    }
}

QString EffectPlayer::source() const
{
    return m_effect ? m_effect->source().toLocalFile() : QString();
}

bool EffectPlayer::playing() const
{
    return m_effect && m_effect->isPlaying();
}

} // namespace lckb
