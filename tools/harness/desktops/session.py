"""Starting a row's processes: its session bus (and the real desktops'
system bus), its Xvfb, the simulator, lckb itself; stopping them all by
PID, children included.
"""
import glob
import os
import re
import shutil
import signal
import subprocess
import time

from ..common import display_answers, process_table, read, read_line, run, sim_argv, sim_hosts, stat_fields, wait_for
from .rows import POLL_S, RESTORE_POLLS, scenario
from .x11 import X

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
BIN = os.path.join(ROOT, "build", "bin")
SERVICES = "/usr/share/dbus-1/services"


class Setup(Exception):
    pass


XORG_CONF = """Section "Device"
    Identifier "dummy"
    Driver "dummy"
    VideoRam 256000
EndSection
Section "Monitor"
    Identifier "monitor"
    HorizSync 5.0-1000.0
    VertRefresh 5.0-200.0
EndSection
Section "Screen"
    Identifier "screen"
    Device "dummy"
    Monitor "monitor"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Virtual 4000 2000
    EndSubSection
EndSection
"""


def bus_config(kind, listen, servicedir=None):
    return """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>%s</type>
  <listen>unix:path=%s</listen>
  <auth>EXTERNAL</auth>
%s  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
""" % (kind, listen, "  <servicedir>%s</servicedir>\n" % servicedir if servicedir else "")


# ---- processes ------------------------------------------------------------

def proc_start_time(pid):
    fields = stat_fields(pid)
    return fields[19] if fields else None


def descendants(pid):
    """(pid, start time) of every process below pid, read from /proc."""
    children = {}
    for p, fields in process_table().items():
        children.setdefault(int(fields[1]), []).append(p)
    out, todo = [], [pid]
    while todo:
        for c in children.get(todo.pop(), []):
            out.append((c, proc_start_time(c)))
            todo.append(c)
    return out


class Procs:
    """What a row started, stopped in reverse order by PID, children included."""

    def __init__(self, logdir):
        self.logdir = logdir
        self.items = []

    def start(self, name, argv, env, pass_fds=()):
        with open(os.path.join(self.logdir, name + ".log"), "ab") as out:
            p = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL, stdout=out,
                                 stderr=subprocess.STDOUT, pass_fds=pass_fds)
        self.items.append((name, p))
        return p

    def stop(self, p, grace=5.0):
        if p.poll() is not None:
            return
        below = descendants(p.pid)
        p.terminate()
        try:
            p.wait(grace)
        except subprocess.TimeoutExpired:
            p.kill()
            p.wait(5)
        # Children that outlived their parent (XWayland, browser helpers):
        # only those still the very processes seen before.
        for pid, started in below:
            if started and proc_start_time(pid) == started:
                try:
                    os.kill(pid, signal.SIGKILL)
                except OSError:
                    pass

    def stop_all(self):
        for _, p in reversed(self.items):
            self.stop(p)


def ensure_x11_unix():
    """XWayland refuses a /tmp/.X11-unix that is not world-writable and sticky;
    mutter, as root with umask 022, would create it as 1755 and then fail."""
    d = "/tmp/.X11-unix"
    if not os.path.isdir(d):
        os.makedirs(d, exist_ok=True)
        os.chmod(d, 0o1777)
    elif (os.stat(d).st_mode & 0o1022) != 0o1022 and os.stat(d).st_uid == os.geteuid():
        os.chmod(d, 0o1777)


def forget_x_locks(pid):
    """The lock files and sockets of displays held by a mutter that is gone."""
    for lock in glob.glob("/tmp/.X*-lock"):
        try:
            holder = int(read(lock).strip() or 0)
        except ValueError:
            continue
        if holder == pid:
            num = lock[len("/tmp/.X"):-len("-lock")]
            for f in (lock, "/tmp/.X11-unix/X" + num):
                try:
                    os.unlink(f)
                except OSError:
                    pass


class SessionMixin:
    """Start-up of a row: buses, the X server, the simulator, lckb."""

    def start_bus(self, services=()):
        # A bus of our own: only what the row starts answers, or the desktop's
        # own services that the bus may start on demand.
        addr = self.dbus_daemon("dbus", "bus", "session", "bus", self.service_dir(services) if services else None)
        if not addr:
            raise Setup("dbus-daemon gave no address")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = addr
        self.log("session bus " + addr)

    def dbus_daemon(self, name, conf_name, kind, socket, servicedir=None):
        """A dbus-daemon of the row's own, its socket in the run folder; the
        address it prints (empty when it prints none)."""
        conf = self.path(conf_name + ".conf")
        with open(conf, "w") as f:
            f.write(bus_config(kind, os.path.join(self.run_dir, socket), servicedir))
        r, w = os.pipe()
        self.procs.start(name, ["dbus-daemon", "--config-file", conf, "--nofork", "--print-address=%d" % w],
                         self.env, pass_fds=(w,))
        os.close(w)
        return self.read_fd_line(r)

    def read_fd_line(self, fd):
        line = read_line(fd, 10)
        self.keep_fds.append(fd)  # closed when the row ends: a writer never meets a closed pipe
        return line

    def start_xvfb(self):
        r, w = os.pipe()
        dpi = 96 * self.row.scale
        # -noreset: the server would forget the resources xrdb sets once xrdb disconnects.
        self.procs.start("xvfb", ["Xvfb", "-displayfd", str(w), "-noreset", "-nolisten", "tcp",
                                  "-dpi", str(dpi), "-screen", "0", "%dx%dx24" % (self.width, self.height)],
                         self.env, pass_fds=(w,))
        os.close(w)
        num = read_line(r, 15)
        self.keep_fds.append(r)
        if not num:
            raise Setup("Xvfb reported no display")
        self.env["DISPLAY"] = ":" + num
        self.x = X(self.env)
        if not wait_for(lambda: display_answers(self.env), 10):
            raise Setup("Xvfb display %s does not answer" % self.env["DISPLAY"])
        if self.row.scale != 1:
            # How X11 desktops ask for scaling: the Xft.dpi resource.
            rc, _, err = run(["xrdb", "-nocpp", "-merge"], self.env, stdin="Xft.dpi: %d\n" % dpi)
            if rc != 0:
                raise Setup("xrdb: " + err.strip())
        self.log("Xvfb on " + self.env["DISPLAY"])

    def start_xorg(self):
        """Xorg with the dummy driver: real RandR outputs, laid out as the
        row's monitors (Xvfb shows Qt one screen only)."""
        conf = self.path("xorg.conf")
        with open(conf, "w") as f:
            f.write(XORG_CONF)
        r, w = os.pipe()
        self.procs.start("xorg", ["Xorg", "-displayfd", str(w), "-config", conf, "-noreset", "-nolisten", "tcp",
                                  "-dpi", "96", "-logfile", self.path("xorg-server.log")], self.env, pass_fds=(w,))
        os.close(w)
        num = read_line(r, 20)
        self.keep_fds.append(r)
        if not num:
            raise Setup("Xorg reported no display: " + read(self.path("xorg.log"))[-300:])
        self.env["DISPLAY"] = ":" + num
        self.x = X(self.env)
        if not wait_for(lambda: display_answers(self.env), 10):
            raise Setup("Xorg display %s does not answer" % self.env["DISPLAY"])
        argv = ["xrandr"]
        for i, (w_, h, x, y) in enumerate(self.row.monitors):
            out = "DUMMY%d" % i
            if i:  # DUMMY1 and on start disconnected, without modes
                run(["xrandr", "--addmode", out, "%dx%d" % (w_, h)], self.env)
            argv += ["--output", out, "--mode", "%dx%d" % (w_, h), "--pos", "%dx%d" % (x, y)]
            if not i:
                argv.append("--primary")
        rc, _, err = run(argv, self.env)
        if rc != 0 or len(self.x.monitors()) != len(self.row.monitors):
            raise Setup("xrandr did not lay out the monitors: %s %r" % (err.strip(), self.x.monitors()))
        self.width, self.height = self.x.root_size()
        # A desktop colour on the monitors: openbox draws none, and the root's
        # black would hide where one monitor ends in a screenshot.
        run(["xsetroot", "-solid", "#3c5a78"], self.env)
        self.log("Xorg on %s, monitors %r" % (self.env["DISPLAY"], self.x.monitors()))

    def mutter_argv(self, program, sock, with_x11):
        """mutter or GNOME Shell headless on a virtual screen of the row's size."""
        argv = [program, "--headless", "--wayland", "--wayland-display", sock,
                "--virtual-monitor", "%dx%d" % (self.width, self.height)]
        return argv if with_x11 else argv + ["--no-x11"]

    def start_compositor(self, name, program, argv, sock, timeout):
        """A Wayland compositor, logging to NAME.log, that opens `sock` in
        the run folder; from then on the row's programs use it. The log's path."""
        self.mutter = self.procs.start(name, argv, self.env)
        log = self.path(name + ".log")
        if not wait_for(lambda: os.path.exists(os.path.join(self.run_dir, sock)) or self.mutter.poll() is not None,
                        timeout) or self.mutter.poll() is not None:
            raise Setup("%s did not open its Wayland socket: %s" % (program, read(log)[-400:]))
        self.env["WAYLAND_DISPLAY"] = sock
        return log

    def mutter_xwayland(self, program, log, timeout):
        """The XWayland that mutter (GNOME Shell's too) starts: its log names
        the display, its authority file lies in the run folder."""
        m = wait_for(lambda: re.search(r"Using public X11 display (:\d+)", read(log)), timeout)
        auth = glob.glob(os.path.join(self.run_dir, ".mutter-Xwaylandauth.*"))
        if not m or not auth:
            raise Setup("%s started no XWayland: %s" % (program, read(log)[-400:]))
        self.use_xwayland(m.group(1), auth[0])

    def use_xwayland(self, display, auth):
        self.env["DISPLAY"] = display
        if auth:
            self.env["XAUTHORITY"] = auth
        self.x = X(self.env)
        if not wait_for(lambda: display_answers(self.env), 20):
            raise Setup("XWayland %s does not answer" % display)

    def service_dir(self, names):
        """A folder with the .service files of `names` only."""
        d = self.path("services")
        os.makedirs(d, exist_ok=True)
        for n in names:
            src = os.path.join(SERVICES, n + ".service")
            if not os.path.exists(src):
                raise Setup("no D-Bus service file %s (is the desktop installed? scripts/deps --desktops)" % src)
            shutil.copy(src, d)
        return d

    def start_system_bus(self):
        """An empty system bus of the row's own: the shells ask it for login,
        accounts and network services, and do without their answers."""
        addr = self.dbus_daemon("system-bus", "system-bus", "system", "system_bus")
        if not addr:
            raise Setup("the system bus gave no address")
        self.env["DBUS_SYSTEM_BUS_ADDRESS"] = addr

    def update_activation_env(self, *names):
        """Services the bus starts later get these variables, as a session's do."""
        rc, _, err = run(["dbus-update-activation-environment"] + list(names), self.env)
        if rc != 0:
            raise Setup("dbus-update-activation-environment: " + err.strip())

    def start_sim(self):
        scen = self.path("scenario.txt")
        with open(scen, "w", encoding="utf-8") as f:
            text, self.shown = scenario(self.row.burst, self.row.series, RESTORE_POLLS if self.row.a11y else 0)
            f.write(text)
        self.procs.start("sim", sim_argv(os.path.join(BIN, "lckb-sim"), self.path("requests.log"), scenario=scen),
                         self.env)
        out = self.path("sim.log")
        if not wait_for(lambda: len(sim_hosts(read(out))) >= 3, 10):
            raise Setup("the simulator did not start: " + read(out))
        self.hosts = ",".join(sim_hosts(read(out)))

    def start_app(self):
        env = dict(self.env)
        env.update({
            "LCKB_TRACE": self.path("trace.txt"),
            "QTWEBENGINE_CHROMIUM_FLAGS": "--disable-gpu --disable-background-networking "
                                          "--disable-component-update --no-first-run",
            # lckb keeps Qt's messages to itself unless asked: its log then
            # tells where each pop-up's work area came from.
            "LCKB_DEBUG": "1",
            "QT_LOGGING_RULES": "qt.qpa.tray.debug=true;lckb.desktop.workarea.debug=true",
        })
        if os.geteuid() == 0:
            env["QTWEBENGINE_DISABLE_SANDBOX"] = "1"
        env.update(self.row.env)
        if self.row.a11y:
            # A screen reader's bus, and Qt speaking on it without asking the desktop.
            self.procs.start("atspi", ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"], self.env)
            env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
        self.res.t_app = time.monotonic()
        self.app = self.procs.start("lckb", [os.path.join(self.prog, "lckb"), "--hosts", self.hosts,
                                             "--poll-interval", str(POLL_S)], env)

    def start_monitor(self):
        """dbus-monitor on the session bus: the tray menu's layout updates and
        everything said to and by the notification server."""
        rules = ["type='signal',interface='com.canonical.dbusmenu'",
                 "interface='org.freedesktop.Notifications'",
                 "type='method_return'", "type='error'"]
        self.procs.start("monitor", ["dbus-monitor", "--session"] + rules, self.env)
        wait_for(lambda: "NameAcquired" in read(self.path("monitor.log")) or
                 os.path.getsize(self.path("monitor.log")) > 0, 5)
