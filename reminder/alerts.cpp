#include "reminder/alerts.h"

#include <QFileInfo>

namespace lckb {

AlertSink::~AlertSink() = default;
PopupHost::~PopupHost() = default;
AlertBackdrop::~AlertBackdrop() = default;
SoundPlayer::~SoundPlayer() = default;

Alerts::Alerts(PopupHost &host, AlertBackdrop &backdrop, SoundPlayer &player, QObject *parent)
    : QObject(parent), m_host(host), m_backdrop(backdrop), m_player(player)
{
}

void Alerts::announce(const Bulletin &b)
{
    ++m_popupCount;

    // Keep the two newest; with the new one that makes three on screen. A
    // pop-up closed by the user or by its own timer has gone from the list.
    for (auto it = m_open.begin(); it != m_open.end();) {
        if (!it->popup) {
            it = m_open.erase(it);
        } else if (it->sequence + 2 < m_popupCount) {
            const QPointer<PopupHandle> p = it->popup;
            it = m_open.erase(it);
            p->close();
        } else {
            ++it;
        }
    }

    // Before the pop-up exists: making it must not count as the main window
    // losing the focus.
    m_backdrop.stepAside();
    PopupHandle *popup = m_host.createPopup(b, m_popupCount);
    if (!popup)
        return; // the count has grown all the same, as with any failure here
    m_open.append(OpenPopup{popup, m_popupCount});
    popup->show();
    emit announced(b);
}

void Alerts::playSound(const QString &file)
{
    const QFileInfo info(file);
    if (!info.exists() || info.isDir())
        return;
    m_player.play(file);
}

QList<int> Alerts::openPopupSequences() const
{
    QList<int> out;
    for (const OpenPopup &p : m_open)
        if (p.popup)
            out.append(p.sequence);
    return out;
}

} // namespace lckb
