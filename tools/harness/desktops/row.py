"""One row run end to end: its Result (check -> status, detail, time), and
RowRun, which starts the row's desktop and lckb and runs the row's checks
in order (go, or go_series on a real desktop), then stops everything.
"""
import os
import re
import shutil
import time

from ..common import read, wait_for
from .bus import BusMixin
from .checks import ChecksMixin
from .gnome import GnomeMixin
from .kde import KdeMixin
from .rows import MAIN_TITLE
from .series import SeriesChecksMixin
from .session import BIN, Procs, Setup, SessionMixin, forget_x_locks
from .shells import ShellsMixin
from .standins import StandInsMixin
from .x11 import WindowSystemMixin
from .xfce import XfceMixin


class Result:
    def __init__(self, row):
        self.row = row
        self.checks = {}  # name -> (status, detail, seconds)
        self.order = []
        self.t0 = time.monotonic()
        self.t_app = None
        self.windows = {}  # role -> properties
        self.total = 0.0

    def since(self):
        return time.monotonic() - (self.t_app or self.t0)

    def put(self, name, status, detail=""):
        if name not in self.checks:
            self.order.append(name)
        self.checks[name] = (status, detail, self.since())

    def ok(self, name, detail=""):
        self.put(name, "ok", detail)

    def fail(self, name, detail=""):
        self.put(name, "FAIL", detail)

    def skip(self, name, detail=""):
        self.put(name, "-", detail)

    @property
    def passed(self):
        return all(s != "FAIL" for s, _, _ in self.checks.values())


class RowRun(SessionMixin, StandInsMixin, ShellsMixin, GnomeMixin, XfceMixin, KdeMixin, BusMixin,
             WindowSystemMixin, ChecksMixin, SeriesChecksMixin):
    """A row: its folder, environment and processes; each mix-in adds one
    part of what it starts, reads or checks."""

    def __init__(self, row, work, verbose, reference, shots=False, lckb=None):
        self.row = row
        self.shots = shots
        self.work = work
        self.verbose = verbose
        self.reference = reference  # results of earlier rows, for the scale comparison
        self.res = Result(row)
        self.procs = Procs(work)
        self.run_dir = os.path.join(work, "run")
        self.prog = os.path.join(work, "prog")
        os.makedirs(self.run_dir, mode=0o700)
        os.chmod(self.run_dir, 0o700)
        os.makedirs(os.path.join(work, "home"))
        os.makedirs(self.prog)
        for f in ("lckb", "ts.wav", "ts1.wav"):
            shutil.copy2(os.path.join(BIN, f), self.prog)
        if lckb:  # --lckb: another build of the client, to compare
            shutil.copy2(lckb, os.path.join(self.prog, "lckb"))
        self.env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "HOME": os.path.join(work, "home"),
            "LANG": "C.UTF-8",
            "XDG_RUNTIME_DIR": self.run_dir,
        }
        self.mutter = None  # the compositor, whose XWayland display locks go with it
        self.figures = self.res.figures = {}  # what the closing table reports besides pass/fail
        self.keep_fds = []
        self.x = None
        self.app = None
        self.width, self.height = 1366 * row.scale, 768 * row.scale

    def log(self, msg):
        if self.verbose:
            print("  [%s %5.1fs] %s" % (self.row.name, time.monotonic() - self.res.t0, msg), flush=True)

    def path(self, name):
        return os.path.join(self.work, name)

    def trace(self, word):
        return word in read(self.path("trace.txt"))

    def requested(self, target):
        return any(("\tGET\t" + target) in line for line in read(self.path("requests.log")).splitlines())

    def alive(self):
        return self.app is not None and self.app.poll() is None

    def go(self):
        row, res = self.row, self.res
        try:
            self.start_desktop()
        except Setup as e:
            res.fail("setup", str(e))
            return res
        self.log("desktop ready; starting lckb")
        self.start_app()
        if row.late_tray:
            time.sleep(1.0)
            try:
                self.start_service("sni", "lckb-sni-host")
            except Setup as e:
                res.fail("setup", str(e))
                return res
        if not self.check_start():
            return res
        if row.a11y and self.platform == "xcb":
            # First, while the window is as the start laid it out.
            self.check_restore()
        if row.series:
            return self.go_series()
        self.check_tray()
        popup = note = None
        if row.platform == "xcb":  # pop-ups, seen on the X display
            if self.platform == "xcb":
                popup = self.check_popup()
                if popup and row.a11y:
                    self.check_a11y()
            else:
                res.fail("announce", "lckb runs on %s: its pop-ups are not visible to X" % self.platform)
        else:  # no X at all: desktop notifications
            note = self.check_notifications()
        if popup or note is not None:
            self.check_open(popup, note)
        else:
            res.fail("open", "nothing announced to click")
        self.check_windows_and_hide()
        if row.scale != 1 and self.main:
            self.window_record("main window", self.main)
            self.scale_compare()
        self.check_quit_if_alive()
        return res

    def go_series(self):
        """A real desktop: the user works in another program while the
        bulletins come; then the tray's submenu, the click, the close box."""
        row, res = self.row, self.res
        if self.x is None and row.notify is None:
            # On Wayland the main window comes when it comes, and takes the focus.
            wait_for(lambda: any(re.match(MAIN_TITLE, w.get("title", "")) for w in self.gnome_windows()), 20, 0.3)
        self.foreign_was_active = (self.x is not None or row.notify is None) and self.activate_foreign()
        self.check_tray()
        self.check_panel()
        popup = note = None
        if row.platform == "xcb":
            if self.platform == "xcb":
                popup = self.check_series_popups()
            else:
                res.fail("announce", "lckb runs on %s: its pop-ups are not visible to X" % self.platform)
        elif row.notify is None:
            popup = self.check_wayland_popups()
        else:
            note = self.check_notifications()
        self.check_submenu()
        if popup and row.platform == "xcb":
            popup = self.newest_popup() or popup
        elif note is not None:  # the last bulletin's notification, come meanwhile
            note = next((e.get("id") for e in reversed(self.notify_log()) if e.get("call") == "Notify" and
                         self.shown[-1] in e.get("summary", "")), note)
        if row.notify is None:
            self.check_wayland_popup_open()
        elif popup or note is not None:
            self.check_open(popup, note)
        else:
            res.fail("open", "nothing announced to click")
        self.check_windows_and_hide()
        self.check_quit_if_alive()
        return res

    def check_windows_and_hide(self):
        """The windows' properties where the row looks at them, and hiding
        where the script can see windows."""
        if self.row.props and self.main:
            self.check_windows()
        if self.row.x11 and self.platform == "xcb":
            self.check_hide()
        else:
            self.res.skip("hide", "windows on Wayland are not visible to the script")

    def check_quit_if_alive(self):
        if self.alive():
            self.check_quit()
        else:
            self.res.fail("quit", "lckb had ended before: " + read(self.path("lckb.log"))[-300:])

    def stop(self):
        self.procs.stop_all()
        for fd in self.keep_fds:
            os.close(fd)
        if self.mutter is not None:
            forget_x_locks(self.mutter.pid)
        self.res.total = time.monotonic() - self.res.t0
