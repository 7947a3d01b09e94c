"""GNOME Shell 43 headless, with or without XWayland: how it is started,
and how the script looks into it (org.gnome.Shell.Eval, through a small
extension of its own that turns on the unsafe mode).
"""
import json
import os
import re
import time

from ..common import read, run, wait_for
from .rows import MENU, SNI_TITLE
from .session import Setup, ensure_x11_unix
from .shells import FOREIGN


# A small extension of the test's own: GNOME answers org.gnome.Shell.Eval
# and takes screenshots for any caller only in its unsafe mode.
GNOME_EXTENSION = "lckb-desktops@lckb.invalid"
GNOME_EXTENSION_JS = """function init() {}
function enable() { global.context.unsafe_mode = true; }
function disable() {}
"""


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


class GnomeMixin:
    """GNOME Shell: start-up and its script interface."""

    def start_gnome(self, with_x11, notifications=True):
        ensure_x11_unix()
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
        log = self.start_compositor("gnome-shell", "gnome-shell", self.mutter_argv("gnome-shell", sock, with_x11),
                                    sock, 30)
        if with_x11:
            self.mutter_xwayland("gnome-shell", log, 30)
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
        return self.gnome_eval((self.GNOME_INDICATOR % json.dumps(SNI_TITLE)) + js)

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
                  "true" if open_it else "false", json.dumps(MENU[1]), "true" if open_it else "false")
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

    def start_foreign_wayland(self):
        """Another program on Wayland: a GTK window, through gjs."""
        js = ("imports.gi.versions.Gtk = '3.0'; const Gtk = imports.gi.Gtk; Gtk.init(null);"
              "let w = new Gtk.Window({title: '%s'}); w.set_default_size(320, 160); w.show_all(); Gtk.main();"
              % FOREIGN)
        env = dict(self.env, GDK_BACKEND="wayland")
        self.procs.start("foreign", ["gjs", "-c", js], env)
        if not wait_for(lambda: any(w.get("title") == FOREIGN for w in self.gnome_windows()), 15, 0.3):
            raise Setup("the other program (a gjs window) did not show: " + read(self.path("foreign.log"))[-300:])
