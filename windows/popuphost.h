#pragma once
// The pop-up windows of the alerts: made, shown and closed here, for the
// main window reached through MainLink.
#include "reminder/alerts.h"

#include <memory>

namespace lckb {

class MainLink;

// The main window's side of an alert, the same whatever announces it.
class MainWindowAlertHost : public AlertHost
{
public:
    explicit MainWindowAlertHost(MainLink &main) : m_main(main) {}

    bool mainWindowVisible() const override;
    bool mainWindowIsActive() const override;
    void minimizeMainWindow() override;

protected:
    MainLink &m_main;
};

class PopupHost final : public MainWindowAlertHost
{
public:
    // `tickMs`: the interval of each pop-up's closing timer.
    PopupHost(MainLink &main, int tickMs);

    QObject *createPopup(const PopupData &d) override;
    void showPopup(QObject *popup) override;
    void closePopup(QObject *popup) override;

private:
    int m_tickMs;
};

// The alerts' host for the platform the program runs on: desktop
// notifications on Wayland (NotificationHost), pop-up windows elsewhere.
std::unique_ptr<AlertHost> makeAlertHost(MainLink &main, int tickMs);

} // namespace lckb
