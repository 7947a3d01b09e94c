"""The stand-in rows: Xvfb with openbox (trayer as XEmbed tray host) or
mutter headless (with or without XWayland), and the stand-ins for the
desktop's StatusNotifier tray and notification server
(tools/desktop-standins).
"""
import glob
import os
import re

from ..common import display_answers, read, trayer_argv, wait_for, wm_running
from .session import BIN, Setup, ensure_x11_unix
from .x11 import X


class StandInsMixin:
    """Starting a row's desktop: the stand-ins here, a real desktop by start_shell."""

    def start_desktop(self):
        row = self.row
        if row.shell:
            self.start_shell()
            return
        self.start_bus()
        if row.display == "xvfb":
            self.start_xvfb()
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
        self.procs.start("trayer", trayer_argv(self.row.scale, tint="0x303030"), self.env)
        if not wait_for(lambda: self.x.search("^panel$"), 10):
            raise Setup("trayer did not show its panel")

    def start_mutter(self, with_x11):
        ensure_x11_unix()
        sock = "lckb-" + self.row.name
        argv = ["mutter", "--headless", "--wayland", "--wayland-display", sock,
                "--virtual-monitor", "%dx%d" % (self.width, self.height)]
        if not with_x11:
            argv.append("--no-x11")
        self.mutter = self.procs.start("mutter", argv, self.env)
        mlog = self.path("mutter.log")
        if not wait_for(lambda: os.path.exists(os.path.join(self.run_dir, sock)) or self.mutter.poll() is not None,
                        20) or self.mutter.poll() is not None:
            raise Setup("mutter did not open its Wayland socket: " + read(mlog)[-300:])
        self.env["WAYLAND_DISPLAY"] = sock
        if with_x11:
            m = wait_for(lambda: re.search(r"Using public X11 display (:\d+)", read(mlog)), 20)
            auth = glob.glob(os.path.join(self.run_dir, ".mutter-Xwaylandauth.*"))
            if not m or not auth:
                raise Setup("mutter started no XWayland: " + read(mlog)[-300:])
            self.env["DISPLAY"] = m.group(1)
            self.env["XAUTHORITY"] = auth[0]
            self.x = X(self.env)
            if not wait_for(lambda: display_answers(self.env), 20):
                raise Setup("XWayland %s does not answer" % m.group(1))
        self.log("mutter: WAYLAND_DISPLAY=%s DISPLAY=%s" % (sock, self.env.get("DISPLAY", "")))

    def start_service(self, name, binary):
        logf = self.path(name + ".jsonl")
        self.procs.start(name, [os.path.join(BIN, binary), "serve", "--log", logf], self.env)
        if not wait_for(lambda: '"ready"' in read(logf), 10):
            raise Setup("%s did not take its bus name: %s" % (binary, read(self.path(name + ".log"))[-300:]))
