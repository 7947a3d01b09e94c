#pragma once
// The alerts as pop-up windows in the bottom-right corner.
#include "reminder/alerts.h"

namespace lckb {

class MainLink;

class PopupWindows final : public PopupHost
{
public:
    // `tickMs`: the interval of each pop-up's closing timer.
    PopupWindows(MainLink &main, int tickMs) : m_main(main), m_tickMs(tickMs) {}

    PopupHandle *createPopup(const Bulletin &b, int sequence) override;

private:
    MainLink &m_main;
    int m_tickMs;
};

} // namespace lckb
