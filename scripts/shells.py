"""The real desktops of scripts/desktops: how GNOME Shell, Xfce and KDE Plasma
are started headless, and how the script looks into them (GNOME's own
script interface, the X display, the session bus).

A mix-in of RowRun: it uses the row's process list (self.procs), its
environment (self.env), its folder (self.path) and its X helper (self.x).
"""
import glob
import json
import os
import re
import shutil
import subprocess
import time

SERVICES = "/usr/share/dbus-1/services"
FOREIGN = "FOREIGN"  # the title of the other program given the focus

# The bus services each desktop may start on demand; nothing else is
# activatable on a row's private bus (so no other desktop's notification
# server answers in its place).
SHELL_SERVICES = {
    "gnome": ["ca.desrt.dconf", "org.gnome.Shell.Notifications"],
    "gnome-no-notify": ["ca.desrt.dconf"],
    "xfce": ["org.xfce.Xfconf"],
    "kde": ["org.kde.ActivityManager", "org.kde.kglobalaccel", "org.kde.kscreen"],
}

# A small extension of the test's own: GNOME answers org.gnome.Shell.Eval
# and takes screenshots for any caller only in its unsafe mode.
GNOME_EXTENSION = "lckb-desktops@lckb.invalid"
GNOME_EXTENSION_JS = """function init() {}
function enable() { global.context.unsafe_mode = true; }
function disable() {}
"""

XFCE_PANEL = """<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=8;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="%d"/>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/>
        <value type="int" value="2"/>
        <value type="int" value="3"/>
        <value type="int" value="4"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="tasklist"/>
    <property name="plugin-2" type="string" value="separator">
      <property name="expand" type="bool" value="true"/>
      <property name="style" type="uint" value="0"/>
    </property>
    <property name="plugin-3" type="string" value="systray"/>
    <property name="plugin-4" type="string" value="clock"/>
  </property>
</channel>
"""

# What a panel's tray shows of lckb: the red of its icon, which no panel,
# clock or other icon of these desktops uses.
def icon_red(r, g, b):
    return r >= 130 and g <= 70 and b <= 70 and r >= 2 * max(g, b) + 40


class Setup(Exception):
    pass


def run(argv, env, timeout=15, stdin=None):
    try:
        r = subprocess.run(argv, env=env, input=stdin, capture_output=True, text=True, timeout=timeout)
        return r.returncode, r.stdout, r.stderr
    except subprocess.TimeoutExpired:
        return 124, "", "timed out"


def wait_for(pred, timeout, step=0.1):
    end = time.monotonic() + timeout
    while True:
        v = pred()
        if v or time.monotonic() > end:
            return v
        time.sleep(step)


def read(path):
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read()
    except OSError:
        return ""


def gvariant_string(s):
    """The text of a string as GVariant's text form quotes it."""
    out, i = [], 0
    simple = {"n": "\n", "t": "\t", "r": "\r", "a": "\a", "b": "\b", "f": "\f", "v": "\v"}
    while i < len(s):
        c = s[i]
        if c == "\\" and i + 1 < len(s):
            n = s[i + 1]
            if n in "uU":
                width = 4 if n == "u" else 8
                out.append(chr(int(s[i + 2:i + 2 + width], 16)))
                i += 2 + width
                continue
            out.append(simple.get(n, n))
            i += 2
            continue
        out.append(c)
        i += 1
    return "".join(out)


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


# ---- the session bus as dbus-monitor prints it ------------------------------

def parse_monitor(text):
    """The messages of dbus-monitor's default output: dicts with the header
    fields (kind, sender, destination, serial, reply_serial, path, interface,
    member) and args, a list of the top-level arguments (strings and numbers
    as values, arrays as lists, dict entries as pairs)."""
    msgs = []
    head = re.compile(r"^(method call|method return|signal|error) time=\S+ (.*)$")
    stack = None
    for line in text.splitlines():
        m = head.match(line)
        if m:
            msg = {"kind": m.group(1)}
            for k, v in re.findall(r"(\w+)=([^ ;]+)", m.group(2)):
                msg[k] = v
            msg["args"] = []
            msgs.append(msg)
            stack = [msg["args"]]
            continue
        if stack is None or not line.strip():
            continue
        item = line.strip()
        if item in ("]", ")"):
            if len(stack) > 1:
                stack.pop()
            continue
        if item.startswith("array [") or item.startswith("dict entry(") or item.startswith("struct {"):
            new = []
            stack[-1].append(new)
            if not item.endswith("]"):  # "array [\n" opens; "array [ ]" is empty
                stack.append(new)
            continue
        if item == "}":
            if len(stack) > 1:
                stack.pop()
            continue
        sm = re.match(r'^(?:variant\s+)?string "(.*)"$', item)
        if sm:
            stack[-1].append(sm.group(1).replace('\\"', '"'))
            continue
        nm = re.match(r"^(?:variant\s+)?(?:u?int\d+|byte|double|boolean)\s+(\S+)$", item)
        if nm:
            v = nm.group(1)
            stack[-1].append(v == "true" if v in ("true", "false") else float(v) if "." in v else int(v))
            continue
        if item.startswith('"') and msgs and msgs[-1]["kind"] == "error":
            stack[-1].append(item.strip('"'))
    return msgs


def notify_events(msgs):
    """The Notify calls (with the id the server gave), CloseNotification
    calls and the server's signals, in the form lckb-notifyd logs them."""
    out, calls, open_ids = [], {}, set()
    for m in msgs:
        # Calls to the well-known name only: GNOME's gjs daemon passes each
        # on to the shell by its unique name.
        if (m.get("interface") == "org.freedesktop.Notifications" and m["kind"] == "method call"
                and m.get("destination") == "org.freedesktop.Notifications"):
            a = m["args"]
            if m.get("member") == "Notify" and len(a) >= 8:
                hints = {}
                for entry in a[6] if isinstance(a[6], list) else []:
                    if isinstance(entry, list) and len(entry) == 2:
                        hints[entry[0]] = entry[1]
                ev = {"call": "Notify", "app_name": a[0], "summary": a[3], "body": a[4], "actions": a[5],
                      "hints": hints, "timeout": a[7], "sender": m.get("sender")}
                calls[(m.get("sender"), m.get("serial"))] = ev
                out.append(ev)
            elif m.get("member") == "CloseNotification" and a:
                out.append({"call": "CloseNotification", "id": a[0]})
                open_ids.discard(a[0])
        elif m["kind"] == "method return":
            ev = calls.pop((m.get("destination"), m.get("reply_serial")), None)
            if ev is not None and m["args"]:
                ev["id"] = m["args"][0]
                open_ids.add(ev["id"])
                ev["open"] = len(open_ids)
        elif m["kind"] == "signal" and m.get("interface") == "org.freedesktop.Notifications":
            out.append({"signal": m.get("member"), "args": m["args"]})
            if m.get("member") == "NotificationClosed" and m["args"]:
                open_ids.discard(m["args"][0])
    return out


class ShellsMixin:
    """Starting the real desktops and looking into them."""

    # -- buses ---------------------------------------------------------------

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
        conf = self.path("system-bus.conf")
        with open(conf, "w") as f:
            f.write(bus_config("system", os.path.join(self.run_dir, "system_bus")))
        r, w = os.pipe()
        self.procs.start("system-bus", ["dbus-daemon", "--config-file", conf, "--nofork",
                                        "--print-address=%d" % w], self.env, pass_fds=(w,))
        os.close(w)
        addr = self.read_fd_line(r)
        if not addr:
            raise Setup("the system bus gave no address")
        self.env["DBUS_SYSTEM_BUS_ADDRESS"] = addr

    def update_activation_env(self, *names):
        """Services the bus starts later get these variables, as a session's do."""
        rc, _, err = run(["dbus-update-activation-environment"] + list(names), self.env)
        if rc != 0:
            raise Setup("dbus-update-activation-environment: " + err.strip())

    def start_monitor(self):
        """dbus-monitor on the session bus: the tray menu's layout updates and
        everything said to and by the notification server."""
        rules = ["type='signal',interface='com.canonical.dbusmenu'",
                 "interface='org.freedesktop.Notifications'",
                 "type='method_return'", "type='error'"]
        self.procs.start("monitor", ["dbus-monitor", "--session"] + rules, self.env)
        wait_for(lambda: "NameAcquired" in read(self.path("monitor.log")) or
                 os.path.getsize(self.path("monitor.log")) > 0, 5)

    def monitored(self):
        return parse_monitor(read(self.path("monitor.log")))

    def layout_updates(self, sender=None):
        return [m for m in self.monitored() if m["kind"] == "signal" and m.get("member") == "LayoutUpdated"
                and (sender is None or m.get("sender") == sender)]

    def property_updates(self, sender=None):
        return [m for m in self.monitored() if m["kind"] == "signal" and m.get("member") == "ItemsPropertiesUpdated"
                and (sender is None or m.get("sender") == sender)]

    def bus_name_owner(self, name):
        rc, out, _ = run(["gdbus", "call", "--session", "-d", "org.freedesktop.DBus", "-o", "/org/freedesktop/DBus",
                          "-m", "org.freedesktop.DBus.GetNameOwner", name], self.env, timeout=5)
        m = re.search(r"'(:[\d.]+)'", out) if rc == 0 else None
        return m.group(1) if m else None

    def watcher_ready(self):
        rc, out, _ = run(["gdbus", "call", "--session", "-d", "org.kde.StatusNotifierWatcher", "-o",
                          "/StatusNotifierWatcher", "-m", "org.freedesktop.DBus.Properties.Get",
                          "org.kde.StatusNotifierWatcher", "IsStatusNotifierHostRegistered"], self.env, timeout=5)
        return rc == 0 and "true" in out

    # -- GNOME Shell ---------------------------------------------------------

    def start_gnome(self, with_x11, notifications=True):
        self.ensure_x11_unix()
        home = self.env["HOME"]
        ext = os.path.join(home, ".local", "share", "gnome-shell", "extensions", GNOME_EXTENSION)
        os.makedirs(ext)
        with open(os.path.join(ext, "metadata.json"), "w") as f:
            json.dump({"uuid": GNOME_EXTENSION, "name": "lckb desktops", "description": "scripts/desktops",
                       "shell-version": ["43"]}, f)
        with open(os.path.join(ext, "extension.js"), "w") as f:
            f.write(GNOME_EXTENSION_JS)
        self.env.update({"XDG_SESSION_TYPE": "wayland", "XDG_CURRENT_DESKTOP": "GNOME"})
        for schema, key, value in [
                ("org.gnome.shell", "enabled-extensions", "['ubuntu-appindicators@ubuntu.com', '%s']" % GNOME_EXTENSION),
                ("org.gnome.shell", "welcome-dialog-last-shown-version", "'999'"),
                ("org.gnome.desktop.interface", "enable-animations", "false")]:
            rc, _, err = run(["gsettings", "set", schema, key, value], self.env)
            if rc != 0:
                raise Setup("gsettings set %s %s: %s" % (schema, key, err.strip()))
        sock = "lckb-" + self.row.name
        argv = ["gnome-shell", "--headless", "--wayland", "--wayland-display", sock,
                "--virtual-monitor", "%dx%d" % (self.width, self.height)]
        if not with_x11:
            argv.append("--no-x11")
        self.mutter = self.procs.start("gnome-shell", argv, self.env)
        log = self.path("gnome-shell.log")
        if not wait_for(lambda: os.path.exists(os.path.join(self.run_dir, sock)) or self.mutter.poll() is not None,
                        30) or self.mutter.poll() is not None:
            raise Setup("gnome-shell did not open its Wayland socket: " + read(log)[-400:])
        self.env["WAYLAND_DISPLAY"] = sock
        if with_x11:
            m = wait_for(lambda: re.search(r"Using public X11 display (:\d+)", read(log)), 30)
            auth = glob.glob(os.path.join(self.run_dir, ".mutter-Xwaylandauth.*"))
            if not m or not auth:
                raise Setup("gnome-shell started no XWayland: " + read(log)[-400:])
            self.env["DISPLAY"] = m.group(1)
            self.env["XAUTHORITY"] = auth[0]
            self.x = self.X(self.env)
            if not wait_for(lambda: run(["xdpyinfo"], self.env)[0] == 0, 20):
                raise Setup("XWayland %s does not answer" % m.group(1))
        # Up once it answers scripts (the extension is on) and has left the
        # overview it starts in; the notice about the unsafe mode goes.
        if not wait_for(lambda: self.gnome_eval("Main.layoutManager._startingUp ? 'no' : 'up'")[1] == "up", 40, 0.5):
            raise Setup("GNOME Shell does not answer org.gnome.Shell.Eval: " + read(log)[-400:])
        self.gnome_eval("Main.overview.hide(); Main.messageTray.getSources().forEach(s => s.destroy()); 'ok'")
        if not wait_for(lambda: self.gnome_eval("Main.overview.visible")[1] is False, 10, 0.3):
            raise Setup("GNOME Shell stays in its overview")
        if not wait_for(self.watcher_ready, 20, 0.3):
            raise Setup("the AppIndicator extension registered no StatusNotifier host")
        if notifications and not wait_for(lambda: self.bus_name_owner("org.freedesktop.Notifications"), 20, 0.5):
            raise Setup("no org.freedesktop.Notifications (gjs missing?)")
        self.log("gnome-shell: WAYLAND_DISPLAY=%s DISPLAY=%s" % (sock, self.env.get("DISPLAY", "")))

    def gnome_eval(self, js, timeout=10):
        """(ok, value) of a script run in GNOME Shell (the value as JSON gives it)."""
        rc, out, err = run(["gdbus", "call", "--session", "-d", "org.gnome.Shell", "-o", "/org/gnome/Shell",
                            "-m", "org.gnome.Shell.Eval", js], self.env, timeout=timeout)
        m = re.match(r"^\((true|false), (['\"])(.*)\2,?\)\s*$", out.strip(), re.S)
        if rc != 0 or not m:
            return False, err.strip() or out.strip()
        text = gvariant_string(m.group(3))
        if m.group(1) != "true":
            return False, text
        try:
            return True, json.loads(text) if text else None
        except ValueError:
            return True, text

    def gnome_windows(self):
        """The windows GNOME manages: title, type, focus, shown, frame, and
        what its title bar offers."""
        ok, v = self.gnome_eval("global.get_window_actors().map(a => a.meta_window).filter("
                                "w => w.get_title() != null).map(w => ({id: w.get_id(), title: w.get_title(),"
                                " type: w.get_window_type(),"
                                " focus: w.has_focus(), shown: w.showing_on_its_workspace() && !w.minimized,"
                                " frame: [w.get_frame_rect().x, w.get_frame_rect().y, w.get_frame_rect().width,"
                                " w.get_frame_rect().height], skipTaskbar: w.is_skip_taskbar(), above: w.is_above(),"
                                " minimize: w.can_minimize(), maximize: w.can_maximize(), close: w.can_close(),"
                                " decorated: w.decorated, wayland: w.get_client_type() == 0}))")
        return v if ok and isinstance(v, list) else []

    def gnome_focus(self):
        ok, v = self.gnome_eval("global.display.focus_window ? global.display.focus_window.get_title() : ''")
        return v if ok else None

    def gnome_work_area(self):
        ok, v = self.gnome_eval("let r = Main.layoutManager.getWorkAreaForMonitor(0); [r.x, r.y, r.width, r.height]")
        return tuple(v) if ok and v and len(v) == 4 else None

    def gnome_pointer(self, x, y, click=False, clicks=1):
        """Moves GNOME's own virtual pointer there and clicks (or double
        clicks) once the window under it has the pointer. GNOME keeps banners
        back while the user is idle: a move is a sign of life."""
        js = ("const Clutter = imports.gi.Clutter; const GLib = imports.gi.GLib;"
              "if (!global._lckbPointer) global._lckbPointer = Clutter.get_default_backend().get_default_seat()"
              ".create_virtual_device(Clutter.InputDeviceType.POINTER_DEVICE);"
              "let p = global._lckbPointer; let t = GLib.get_monotonic_time();")
        ok = self.gnome_eval(js + "p.notify_absolute_motion(t, %d, %d); 'ok'" % (x, y))[0]
        if not click:
            return ok
        time.sleep(0.3)
        buttons = "".join("p.notify_button(t + %d, Clutter.BUTTON_PRIMARY, Clutter.ButtonState.PRESSED);"
                          "p.notify_button(t + %d, Clutter.BUTTON_PRIMARY, Clutter.ButtonState.RELEASED);"
                          % (20000 * n, 20000 * n + 1000) for n in range(clicks))
        return self.gnome_eval(js + buttons + "'ok'")[0]

    GNOME_INDICATOR = ("let k = Object.keys(Main.panel.statusArea).find(k => k.startsWith('appindicator') &&"
                       " Main.panel.statusArea[k]._indicator && Main.panel.statusArea[k]._indicator.title == %s);"
                       "let ind = k ? Main.panel.statusArea[k] : null;")

    def gnome_indicator(self, js):
        return self.gnome_eval((self.GNOME_INDICATOR % json.dumps(self.SNI_TITLE)) + js)

    def gnome_tray_icon(self):
        """Where lckb's icon is in GNOME's top bar, if it is there and shown."""
        ok, v = self.gnome_indicator("ind && ind.visible && ind.mapped ? "
                                     "[...ind.get_transformed_position(), ...ind.get_transformed_size()] : null")
        return v if ok and v else None

    def gnome_submenu(self, open_it=False):
        """The tray menu's 最近提醒 in GNOME's top bar: whether menu and submenu
        are open and the labels it shows (opened first if asked)."""
        js = ("if (!ind) null; else {"
              "if (%s) { ind.menu.open(); }"
              "let sub = ind.menu._getMenuItems().find(i => i.label && i.label.text == %s);"
              "if (sub && %s) sub.setSubmenuShown(true);"
              "sub ? {menu: ind.menu.isOpen, open: sub.menu.isOpen,"
              " labels: sub.menu._getMenuItems().filter(i => i.visible && i.label).map(i => i.label.text)}"
              " : {menu: ind.menu.isOpen, open: false, labels: []}; }") % (
                  "true" if open_it else "false", json.dumps(self.MENU[1]), "true" if open_it else "false")
        ok, v = self.gnome_indicator(js)
        return v if ok and isinstance(v, dict) else None

    def gnome_close_menu(self):
        self.gnome_indicator("if (ind) ind.menu.close(); 'ok'")

    def gnome_activate_notification(self, title):
        """A click on GNOME's banner or list entry for the notification with
        this title: its default action."""
        ok, v = self.gnome_eval(
            "let n = null; for (let s of Main.messageTray.getSources()) for (let x of s.notifications)"
            " if (x.title && x.title.includes(%s)) n = x; if (n) n.activate(); n ? 'ok' : 'none'" % json.dumps(title))
        return ok and v == "ok"

    def gnome_notifications(self):
        ok, v = self.gnome_eval("[].concat(...Main.messageTray.getSources().map(s =>"
                                " s.notifications.map(n => n.title)))")
        return v if ok and isinstance(v, list) else []

    def gnome_screenshot(self, name):
        rc, out, err = run(["gdbus", "call", "--session", "-d", "org.gnome.Shell", "-o", "/org/gnome/Shell/Screenshot",
                            "-m", "org.gnome.Shell.Screenshot.Screenshot", "false", "false", self.path(name)],
                           self.env, timeout=15)
        return rc == 0 and os.path.exists(self.path(name))

    def gnome_activate(self, title):
        """Gives a window the focus the way a click on it would."""
        ok, v = self.gnome_eval("let w = global.get_window_actors().map(a => a.meta_window).find(w => w.get_title()"
                                " == %s); if (w) { w.unminimize(); w.activate(global.get_current_time()); }"
                                " w ? 'ok' : 'none'" % json.dumps(title))
        return ok and v == "ok"

    # -- Xfce ----------------------------------------------------------------

    def start_xfce(self):
        conf = os.path.join(self.env["HOME"], ".config", "xfce4", "xfconf", "xfce-perchannel-xml")
        os.makedirs(conf)
        with open(os.path.join(conf, "xfce4-panel.xml"), "w") as f:
            f.write(XFCE_PANEL % self.row.panel)
        self.env.update({"XDG_CURRENT_DESKTOP": "XFCE", "NO_AT_BRIDGE": "1"})
        self.update_activation_env("DISPLAY", "XDG_CURRENT_DESKTOP", "NO_AT_BRIDGE")
        self.procs.start("xfwm4", ["xfwm4", "--sm-client-disable", "--compositor=off"], self.env)
        if not wait_for(lambda: "window id" in self.x.out("xprop", "-root", "_NET_SUPPORTING_WM_CHECK"), 15):
            raise Setup("xfwm4 did not take the screen: " + read(self.path("xfwm4.log"))[-300:])
        self.procs.start("xfce4-panel", ["xfce4-panel", "--disable-wm-check"], self.env)
        want = self.height - self.row.panel
        if not wait_for(lambda: (self.work_area() or (0, 0, 0, 1e9))[3] <= want, 20, 0.3):
            raise Setup("xfce4-panel reserved no space at the bottom (work area %r): %s"
                        % (self.work_area(), read(self.path("xfce4-panel.log"))[-300:]))
        if not wait_for(self.watcher_ready, 15, 0.3):
            raise Setup("the panel's systray registered no StatusNotifier host")
        self.procs.start("xfce4-notifyd", ["/usr/lib/x86_64-linux-gnu/xfce4/notifyd/xfce4-notifyd"], self.env)
        if not wait_for(lambda: self.bus_name_owner("org.freedesktop.Notifications"), 15, 0.3):
            raise Setup("xfce4-notifyd did not take org.freedesktop.Notifications")

    # -- KDE Plasma ----------------------------------------------------------

    def start_kwin_x11(self):
        self.update_activation_env("DISPLAY", "XDG_CURRENT_DESKTOP", "KDE_FULL_SESSION", "KDE_SESSION_VERSION",
                                   "DBUS_SYSTEM_BUS_ADDRESS")
        self.procs.start("kwin", ["kwin_x11"], self.env)
        if not wait_for(lambda: "window id" in self.x.out("xprop", "-root", "_NET_SUPPORTING_WM_CHECK"), 20):
            raise Setup("kwin_x11 did not take the screen: " + read(self.path("kwin.log"))[-300:])

    def start_kwin_wayland(self, with_x11):
        """kwin_wayland on a virtual screen. Its file capability
        (cap_sys_resource) makes exec fail in a container, so a copy runs."""
        self.ensure_x11_unix()
        kwin = self.path("kwin_wayland")
        shutil.copy("/usr/bin/kwin_wayland", kwin)
        sock = "lckb-" + self.row.name
        envfile = self.path("kwin-x11-env")
        argv = [kwin, "--virtual", "--width", str(self.width), "--height", str(self.height), "--socket", sock,
                "--no-lockscreen"]
        if with_x11:
            # KWin starts these once XWayland is up, with its DISPLAY.
            argv += ["--xwayland", "--", "sh -c 'echo $DISPLAY $XAUTHORITY > %s'" % envfile]
        self.mutter = self.procs.start("kwin", argv, self.env)
        log = self.path("kwin.log")
        if not wait_for(lambda: os.path.exists(os.path.join(self.run_dir, sock)) or self.mutter.poll() is not None,
                        30) or self.mutter.poll() is not None:
            raise Setup("kwin_wayland did not open its Wayland socket: " + read(log)[-400:])
        self.env["WAYLAND_DISPLAY"] = sock
        if with_x11:
            lines = wait_for(lambda: read(envfile).split(), 30, 0.3)
            if not lines or not lines[0]:
                raise Setup("kwin_wayland started no XWayland: " + read(log)[-400:])
            self.env["DISPLAY"] = lines[0]
            if len(lines) > 1 and lines[1]:
                self.env["XAUTHORITY"] = lines[1]
            self.x = self.X(self.env)
            if not wait_for(lambda: run(["xdpyinfo"], self.env)[0] == 0, 20):
                raise Setup("XWayland %s does not answer" % lines[0])
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

    # -- X11 -----------------------------------------------------------------

    def work_area(self):
        """(x, y, width, height) of the work area the window manager
        announces for the current desktop (_NET_WORKAREA)."""
        v = self.x.out("xprop", "-root", "_NET_WORKAREA") if self.x else ""
        v = v.split("=", 1)[1] if "=" in v else ""
        n = [int(a) for a in re.findall(r"\d+", v)]
        return tuple(n[:4]) if len(n) >= 4 else None

    def start_foreign(self):
        """Another program, a plain X client, that the user works in."""
        self.procs.start("foreign", ["xmessage", "-name", FOREIGN, "-title", FOREIGN, "-geometry", "+200+120",
                                     "Another program."], self.env)
        if not self.x.wait_window("^%s$" % FOREIGN, 10):
            raise Setup("the other program (xmessage) did not show")

    def start_foreign_wayland(self):
        """Another program on Wayland: a GTK window, through gjs."""
        js = ("imports.gi.versions.Gtk = '3.0'; const Gtk = imports.gi.Gtk; Gtk.init(null);"
              "let w = new Gtk.Window({title: '%s'}); w.set_default_size(320, 160); w.show_all(); Gtk.main();"
              % FOREIGN)
        env = dict(self.env, GDK_BACKEND="wayland")
        self.procs.start("foreign", ["gjs", "-c", js], env)
        if not wait_for(lambda: any(w.get("title") == FOREIGN for w in self.gnome_windows()), 15, 0.3):
            raise Setup("the other program (a gjs window) did not show: " + read(self.path("foreign.log"))[-300:])

    def activate_foreign(self):
        if self.x is None:
            return self.gnome_activate(FOREIGN) and wait_for(lambda: self.gnome_focus() == FOREIGN, 5, 0.2)
        w = self.x.wait_window("^%s$" % FOREIGN, 5)
        if self.row.shell == "gnome":
            self.gnome_activate(FOREIGN)
        else:
            self.x.out("xdotool", "windowactivate", str(w))
        return wait_for(lambda: self.active_window() == w, 5, 0.2)

    def active_window(self):
        v = self.x.out("xprop", "-root", "_NET_ACTIVE_WINDOW")
        m = re.search(r"window id # (0x[0-9a-f]+)", v)
        return int(m.group(1), 16) if m and int(m.group(1), 16) else None

    def focus_window(self):
        """The window with the X input focus (its top-level client window)."""
        v = self.x.out("xdotool", "getwindowfocus", "-f").split()
        return int(v[0]) if v and v[0].isdigit() else None

    def screen_rgb(self, box):
        """The root window's pixels in box (x, y, w, h): (w, h, bytes)."""
        x, y, w, h = box
        try:
            data = subprocess.run(["import", "-window", "root", "-crop", "%dx%d+%d+%d" % (w, h, x, y),
                                   "-depth", "8", "rgb:-"], env=self.env, capture_output=True, timeout=20).stdout
        except subprocess.TimeoutExpired:
            return None
        return (w, h, data) if len(data) >= w * h * 3 else None

    def panel_icon(self):
        """Where lckb's icon is in the panel at the bottom of the screen: the
        centre of the rightmost patch of its red (a task list further left
        may show the main window with the same icon)."""
        area = self.work_area()
        top = area[1] + area[3] if area else self.height - 60
        got = self.screen_rgb((0, top, self.width, self.height - top))
        if not got:
            return None
        w, h, data = got
        columns = {}
        for yy in range(h):
            row = data[yy * w * 3:(yy + 1) * w * 3]
            for xx in range(w):
                if icon_red(row[xx * 3], row[xx * 3 + 1], row[xx * 3 + 2]):
                    columns.setdefault(xx, []).append(yy)
        patch = []
        for xx in sorted(columns, reverse=True):
            if patch and patch[-1] - xx > 3:
                break
            patch.append(xx)
        ys = [y for xx in patch for y in columns[xx]]
        if len(ys) < 12:
            return None
        return (sum(patch) // len(patch), top + sum(ys) // len(ys))

    def popup_menus(self):
        """The menu windows on screen (override-redirect and mapped), as
        (id, x, y, width, height), top-level order."""
        out = []
        for line in self.x.out("xwininfo", "-root", "-children").splitlines():
            m = re.match(r"\s+(0x[0-9a-f]+) .*?\s(\d+)x(\d+)\+(-?\d+)\+(-?\d+)\s+\+", line)
            if not m:
                continue
            w = int(m.group(1), 16)
            width, height, x, y = (int(m.group(i)) for i in (2, 3, 4, 5))
            if width < 40 or height < 20:
                continue
            attrs = self.x.out("xwininfo", "-id", hex(w))
            if "Override Redirect State: yes" in attrs and "IsViewable" in attrs:
                out.append((w, x, y, width, height))
        return out
