#pragma once
// The tray icon of the main window and its menu. The menu is made here
// whole, its entries in their order; the other parts fill and serve them.
#include <QIcon>
#include <QObject>
#include <QTimer>
#include <functional>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace lckb {

class Tray : public QObject
{
    Q_OBJECT
public:
    static const QString kTip;
    static const QString kRecentTitle; // "最近提醒"

    explicit Tray(QObject *parent = nullptr);
    ~Tray() override;

    // Adds the icon, once a StatusNotifier host still starting has had up to
    // `settleMs` to come up (at once when a tray of either kind is there).
    // Where there is no tray yet (a desktop whose tray starts later), it keeps
    // looking for one every `retryMs` for `retryForMs`.
    void add(int retryMs = 2000, int retryForMs = 5 * 60 * 1000, int settleMs = 3000);
    // Removes the icon.
    void remove();
    // Whether the icon is in a tray the user can reach: only then may the
    // main window hide itself without leaving the user stranded.
    bool usable() const;

    // For tests and platforms that tell wrong: how to learn whether there is a tray.
    void setAvailabilityProbe(std::function<bool()> probe) { m_probe = std::move(probe); }

    // The icon, once placed (null before).
    QSystemTrayIcon *icon() const { return m_icon; }
    // What the icon shows and tells, now or once it is placed.
    void setTip(const QString &tip);
    void setImage(const QIcon &image);
    QMenu *menu() const { return m_menu; }
    QAction *showAction() const { return m_show; }           // "显示程序"
    QMenu *recentMenu() const { return m_recent; }           // "最近提醒", filled by TrayStatus
    QAction *autostartAction() const { return m_autostart; } // "开机自动启动", checkable
    QAction *quitAction() const { return m_quit; }           // "关闭退出"

signals:
    void leftClicked();
    // The icon was made and shown.
    void placed();

private:
    void makeMenu();
    bool available() const;
    void place(int retryMs, int retryForMs);

    QSystemTrayIcon *m_icon = nullptr;
    QMenu *m_menu;
    QAction *m_show = nullptr;
    QMenu *m_recent = nullptr;
    QAction *m_autostart = nullptr;
    QAction *m_quit = nullptr;
    QString m_tip;
    QIcon m_image;
    QTimer m_retry;
    int m_retriesLeft = 0;
    bool m_wanted = false;
    std::function<bool()> m_probe;
};

} // namespace lckb
