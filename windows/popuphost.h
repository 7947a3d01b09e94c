#pragma once
// The pop-up windows of the alerts: made, shown and closed here, for the
// main window reached through MainLink.
#include "reminder/alerts.h"

namespace lckb {

class MainLink;

class PopupHost final : public AlertHost
{
public:
    // `tickMs`: the interval of each pop-up's closing timer.
    PopupHost(MainLink &main, int tickMs);

    bool mainWindowVisible() const override;
    bool mainWindowIsActive() const override;
    void minimizeMainWindow() override;
    QObject *createPopup(const PopupData &d) override;
    void showPopup(QObject *popup) override;
    void closePopup(QObject *popup) override;

private:
    MainLink &m_main;
    int m_tickMs;
};

} // namespace lckb
