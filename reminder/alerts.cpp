#include "alerts.h"

#include <QFileInfo>

namespace lckb {

AlertSink::~AlertSink() = default;
AlertHost::~AlertHost() = default;
SoundPlayer::~SoundPlayer() = default;

Alerts::Alerts(AlertHost &host, SoundPlayer &player, QObject *parent)
    : QObject(parent), m_host(host), m_player(player)
{
}

void Alerts::ShowMsn(const QString &ZuName, const QString &Ziname, const QString &ZiUrl)
{
    // Items titled with this word are the server's font tests, never news.
    if (Ziname.contains(QLatin1String("arial"), Qt::CaseInsensitive))
        return;
    ++m_msnCount;

    // Asked before the pop-up exists: creating it may move the focus.
    const bool mainWasActive = m_host.mainWindowIsActive();

    // Keep the two newest; with the new one that makes three on screen. A
    // pop-up closed by the user or by its own timer has gone from the list.
    for (auto it = m_open.begin(); it != m_open.end();) {
        if (!it->window) {
            it = m_open.erase(it);
        } else if (it->lblIndex + 2 < m_msnCount) {
            const QPointer<QObject> w = it->window;
            it = m_open.erase(it);
            m_host.closePopup(w);
        } else {
            ++it;
        }
    }

    QObject *popup = m_host.createPopup(PopupData{m_msnCount, ZuName, Ziname, ZiUrl});
    if (!popup)
        return; // the count has grown all the same, as with any failure here
    m_open.append(OpenPopup{popup, m_msnCount});

    if (m_host.mainWindowVisible() && !mainWasActive)
        m_host.minimizeMainWindow();
    m_host.showPopup(popup);
}

void Alerts::PlayWavFile(const QString &strFileName, int PlayCount, int JianGe)
{
    Q_UNUSED(JianGe) // one play per call; the interval never mattered
    const QFileInfo file(strFileName);
    if (!file.exists() || file.isDir())
        return;
    if (PlayCount == 0)
        return;
    m_player.play(strFileName);
}

QList<int> Alerts::openPopupIndexes() const
{
    QList<int> out;
    for (const OpenPopup &p : m_open)
        if (p.window)
            out.append(p.lblIndex);
    return out;
}

} // namespace lckb
