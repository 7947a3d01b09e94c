#include "reminder/alerts.h"

#include <QFileInfo>

namespace lckb {

AlertSink::~AlertSink() = default;
AlertHost::~AlertHost() = default;
SoundPlayer::~SoundPlayer() = default;

Alerts::Alerts(AlertHost &host, SoundPlayer &player, QObject *parent)
    : QObject(parent), m_host(host), m_player(player)
{
}

void Alerts::announce(const QString &group, const QString &title, const QString &url)
{
    // Items titled with this word are the server's font tests, never news.
    if (title.contains(QLatin1String("arial"), Qt::CaseInsensitive))
        return;
    ++m_popupCount;

    // Asked before the pop-up exists: creating it may move the focus.
    const bool mainWasActive = m_host.mainWindowIsActive();

    // Keep the two newest; with the new one that makes three on screen. A
    // pop-up closed by the user or by its own timer has gone from the list.
    for (auto it = m_open.begin(); it != m_open.end();) {
        if (!it->window) {
            it = m_open.erase(it);
        } else if (it->sequence + 2 < m_popupCount) {
            const QPointer<QObject> w = it->window;
            it = m_open.erase(it);
            m_host.closePopup(w);
        } else {
            ++it;
        }
    }

    const PopupData data{m_popupCount, group, title, url};
    QObject *popup = m_host.createPopup(data);
    if (!popup)
        return; // the count has grown all the same, as with any failure here
    m_open.append(OpenPopup{popup, m_popupCount});

    if (m_host.mainWindowVisible() && !mainWasActive)
        m_host.minimizeMainWindow();
    m_host.showPopup(popup);
    emit announced(data);
}

void Alerts::playSound(const QString &file, int playCount)
{
    const QFileInfo info(file);
    if (!info.exists() || info.isDir())
        return;
    if (playCount == 0)
        return;
    m_player.play(file);
}

QList<int> Alerts::openPopupSequences() const
{
    QList<int> out;
    for (const OpenPopup &p : m_open)
        if (p.window)
            out.append(p.sequence);
    return out;
}

} // namespace lckb
