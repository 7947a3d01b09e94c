"""The stand-in rows: Xvfb with openbox (trayer as XEmbed tray host) or
mutter headless (with or without XWayland), and the stand-ins for the
desktop's StatusNotifier tray and notification server
(tools/desktop-standins).
"""
import os

from ..common import read, trayer_argv, wait_for, wm_running
from .session import BIN, Setup, ensure_x11_unix


class StandInsMixin:
    """Starting a row's desktop: the stand-ins here, a real desktop by start_shell."""

    def start_desktop(self):
        row = self.row
        if row.shell:
            self.start_shell()
            return
        self.start_bus()
        if row.display in ("xvfb", "xorg"):
            self.start_xorg() if row.display == "xorg" else self.start_xvfb()
            self.env["XDG_SESSION_TYPE"] = "x11"
            if row.wm == "openbox":
                self.start_openbox()
            if row.tray == "xembed":
                self.start_trayer()
        else:
            self.start_mutter(row.display == "mutter")
            self.env["XDG_SESSION_TYPE"] = "wayland"
            self.env["XDG_CURRENT_DESKTOP"] = "GNOME"
        if row.tray == "sni" and not row.late_tray:
            self.start_service("sni", "lckb-sni-host")
        if row.notify:
            self.start_service("notify", "lckb-notifyd")
        self.start_sim()

    def start_openbox(self):
        self.procs.start("openbox", ["openbox", "--sm-disable"], self.env)
        if not wait_for(lambda: wm_running(self.env), 10):
            raise Setup("openbox did not take the screen")

    def start_trayer(self):
        argv = trayer_argv(self.row.scale, tint="0x303030")
        if self.row.monitors:
            # A panel at the bottom right of the primary monitor, with a strut
            # (which trayer measures from that monitor's edge).
            argv = trayer_argv(tint="0x303030", edge="bottom", height=48) + [
                "--monitor", "0", "--SetDockType", "true", "--SetPartialStrut", "true"]
        self.procs.start("trayer", argv, self.env)
        if not wait_for(lambda: self.x.search("^panel$"), 10):
            raise Setup("trayer did not show its panel")

    def start_mutter(self, with_x11):
        ensure_x11_unix()
        sock = "lckb-" + self.row.name
        log = self.start_compositor("mutter", "mutter", self.mutter_argv("mutter", sock, with_x11), sock, 20)
        if with_x11:
            self.mutter_xwayland("mutter", log, 20)
        self.log("mutter: WAYLAND_DISPLAY=%s DISPLAY=%s" % (sock, self.env.get("DISPLAY", "")))

    def start_service(self, name, binary):
        logf = self.path(name + ".jsonl")
        self.procs.start(name, [os.path.join(BIN, binary), "serve", "--log", logf], self.env)
        if not wait_for(lambda: '"ready"' in read(logf), 10):
            raise Setup("%s did not take its bus name: %s" % (binary, read(self.path(name + ".log"))[-300:]))
