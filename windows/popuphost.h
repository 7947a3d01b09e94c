#pragma once
// The alerts as pop-up windows in the bottom-right corner.
#include "reminder/alerts.h"

#include <QList>
#include <QPointer>

class QWidget;

namespace lckb {

class MainLink;

class PopupWindows final : public PopupHost
{
public:
    // `tickMs`: the interval of each pop-up's closing timer.
    PopupWindows(MainLink &main, int tickMs) : m_main(main), m_tickMs(tickMs) {}
    // The pop-ups still open go with their host: each one holds the main
    // window, which goes after it.
    ~PopupWindows() override;

    PopupHandle *createPopup(const Bulletin &b, int sequence) override;

private:
    MainLink &m_main;
    int m_tickMs;
    QList<QPointer<QWidget>> m_windows; // null once a pop-up has gone
};

} // namespace lckb
