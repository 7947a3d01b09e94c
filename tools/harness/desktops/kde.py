"""KDE Plasma 5.27: kwin_x11 on Xvfb or kwin_wayland on a virtual screen
(with or without XWayland), kded5 and plasmashell; Plasma's way of pressing
a notification's button.
"""
import shutil

from ..common import read, run, wait_for, wm_running
from .session import Setup, ensure_x11_unix


class KdeMixin:
    """KDE Plasma: KWin, kded5, plasmashell."""

    def start_kwin_x11(self):
        self.update_activation_env("DISPLAY", "XDG_CURRENT_DESKTOP", "KDE_FULL_SESSION", "KDE_SESSION_VERSION",
                                   "DBUS_SYSTEM_BUS_ADDRESS")
        self.procs.start("kwin", ["kwin_x11"], self.env)
        if not wait_for(lambda: wm_running(self.env), 20):
            raise Setup("kwin_x11 did not take the screen: " + read(self.path("kwin.log"))[-300:])

    def start_kwin_wayland(self, with_x11):
        """kwin_wayland on a virtual screen. Its file capability
        (cap_sys_resource) makes exec fail in a container, so a copy runs."""
        ensure_x11_unix()
        kwin = self.path("kwin_wayland")
        shutil.copy("/usr/bin/kwin_wayland", kwin)
        sock = "lckb-" + self.row.name
        envfile = self.path("kwin-x11-env")
        argv = [kwin, "--virtual", "--width", str(self.width), "--height", str(self.height), "--socket", sock,
                "--no-lockscreen"]
        if with_x11:
            # KWin starts these once XWayland is up, with its DISPLAY.
            argv += ["--xwayland", "--", "sh -c 'echo $DISPLAY $XAUTHORITY > %s'" % envfile]
        log = self.start_compositor("kwin", "kwin_wayland", argv, sock, 30)
        if with_x11:
            lines = wait_for(lambda: read(envfile).split(), 30, 0.3)
            if not lines or not lines[0]:
                raise Setup("kwin_wayland started no XWayland: " + read(log)[-400:])
            self.use_xwayland(lines[0], lines[1] if len(lines) > 1 else None)
        # The session's programs (activated by the bus too) run on Wayland;
        # lckb chooses for itself.
        self.update_activation_env("WAYLAND_DISPLAY", "XDG_CURRENT_DESKTOP", "KDE_FULL_SESSION",
                                   "KDE_SESSION_VERSION", "DBUS_SYSTEM_BUS_ADDRESS", "QT_QPA_PLATFORM=wayland",
                                   *(["DISPLAY"] if with_x11 else []))

    def start_plasma(self, wayland):
        env = dict(self.env)
        if wayland:
            env["QT_QPA_PLATFORM"] = "wayland"
        self.procs.start("kded5", ["kded5"], env)
        # kded5 loads its StatusNotifier watcher only in a full KDE session
        # (the bus's environment says so).
        if not wait_for(lambda: run(["gdbus", "call", "--session", "-d", "org.kde.StatusNotifierWatcher", "-o",
                                     "/StatusNotifierWatcher", "-m", "org.freedesktop.DBus.Peer.Ping"],
                                    self.env, timeout=5)[0] == 0, 30, 0.5):
            raise Setup("kded5 started no StatusNotifier watcher: " + read(self.path("kded5.log"))[-300:])
        self.procs.start("plasmashell", ["plasmashell", "--no-respawn"], env)
        if not wait_for(self.watcher_ready, 60, 0.5):
            raise Setup("plasmashell registered no StatusNotifier host: " + read(self.path("plasmashell.log"))[-300:])
        if not wait_for(lambda: self.bus_name_owner("org.freedesktop.Notifications"), 30, 0.5):
            raise Setup("plasmashell did not take org.freedesktop.Notifications")
        if self.x is not None and not wait_for(lambda: (self.work_area() or (0, 0, 0, 1e9))[3] < self.height, 30, 0.5):
            raise Setup("no panel: the work area is the whole screen (%r)" % (self.work_area(),))

    def invoke_notification(self, note_id):
        """Plasma's notification server presses a notification's button for
        its watchers (KDE Connect): InvokeAction, as a click on it would."""
        rc, _, err = run(["gdbus", "call", "--session", "-d", "org.freedesktop.Notifications", "-o",
                          "/org/freedesktop/Notifications", "-m", "org.kde.NotificationManager.InvokeAction",
                          str(note_id), "default"], self.env)
        if rc != 0:
            return False, "InvokeAction failed: " + err.strip()
        return True, "Plasma's InvokeAction(%d, \"default\")" % note_id
