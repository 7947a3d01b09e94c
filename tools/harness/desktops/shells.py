"""The real desktops in common: one started as its session starts it (a
system bus, the session bus with the desktop's own services, then GNOME
Shell, Xfce or KDE Plasma), another program the user works in, and the
tray icon's menu opened in the desktop's own panel.
"""
import os

from ..common import run, wait_for
from .rows import MENU
from .session import Setup


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


class ShellsMixin:
    """Starting a real desktop and acting on it as a user would."""

    def start_shell(self):
        """A real desktop, started as its session would start it."""
        row = self.row
        if row.shell == "kde":
            # Before the bus: kded5 loads its StatusNotifier watcher only when
            # the bus's environment says this is a full KDE session.
            self.env.update({"XDG_CURRENT_DESKTOP": "KDE", "KDE_FULL_SESSION": "true", "KDE_SESSION_VERSION": "5"})
        self.env["NO_AT_BRIDGE"] = "1"  # no accessibility bus to look for
        # The shells' scratch files (KDE's kconf_update leaves some) stay in the row's folder.
        self.env["TMPDIR"] = self.path("tmp")
        os.makedirs(self.env["TMPDIR"])
        self.start_system_bus()
        self.start_bus(SHELL_SERVICES["gnome-no-notify" if row.notify is None else row.shell])
        if row.shell == "gnome":
            self.start_gnome(row.display == "gnome", notifications=row.notify is not None)
        elif row.shell == "xfce":
            self.start_xvfb()
            self.env["XDG_SESSION_TYPE"] = "x11"
            self.start_xfce()
        elif row.display == "xvfb":
            self.start_xvfb()
            self.env["XDG_SESSION_TYPE"] = "x11"
            self.start_kwin_x11()
            self.start_plasma(wayland=False)
        else:
            self.env["XDG_SESSION_TYPE"] = "wayland"
            self.start_kwin_wayland(row.display == "kwin")
            self.start_plasma(wayland=True)
        self.start_monitor()
        if self.x is not None:
            self.start_foreign()
        elif row.notify is None:
            self.start_foreign_wayland()
        self.start_sim()

    def start_foreign(self):
        """Another program, a plain X client, that the user works in."""
        self.procs.start("foreign", ["xmessage", "-name", FOREIGN, "-title", FOREIGN, "-geometry", "+200+120",
                                     "Another program."], self.env)
        if not self.x.wait_window("^%s$" % FOREIGN, 10):
            raise Setup("the other program (xmessage) did not show")

    def activate_foreign(self):
        if self.x is None:
            return self.gnome_activate(FOREIGN) and wait_for(lambda: self.gnome_focus() == FOREIGN, 5, 0.2)
        w = self.x.wait_window("^%s$" % FOREIGN, 5)
        if self.row.shell == "gnome":
            self.gnome_activate(FOREIGN)
        else:
            self.x.out("xdotool", "windowactivate", str(w))
        return wait_for(lambda: self.active_window() == w, 5, 0.2)

    def open_shell_menu(self):
        """Opens the tray icon's menu and its 最近提醒 submenu in the shell's
        own panel, as a user would. Returns how it looks (or None when this
        desktop's menus cannot be reached from here) and how it was opened."""
        row = self.row
        if row.shell == "gnome":
            got = self.gnome_submenu(open_it=True)
            ok = wait_for(lambda: (self.gnome_submenu() or {}).get("open"), 5, 0.2)
            return ({"open": bool(ok), "labels": (got or {}).get("labels", [])}, "GNOME's top bar (menu, submenu)")
        if self.x is None or row.display != "xvfb":
            return None, "the shell's menus are Wayland windows: the D-Bus menu only"
        icon = wait_for(self.panel_icon, 5, 0.5)
        if not icon:
            run(["import", "-window", "root", self.path("no-icon.png")], self.env)
            return {"open": False}, "no icon found in the panel (work area %r)" % (self.work_area(),)
        before = {m[0] for m in self.popup_menus()}
        self.x.out("xdotool", "mousemove", str(icon[0]), str(icon[1]), "click", "3")
        menus = wait_for(lambda: [m for m in self.popup_menus() if m[0] not in before], 5, 0.2)
        if not menus:
            return {"open": False}, "right click at %d,%d opened no menu" % icon
        top = menus[0]
        if self.shots:
            self.shot("tray-menu.png")
        # One entry per item of MENU, 最近提醒 the second; pointing at it opens it.
        mx, my = top[1] + top[3] // 2, top[2] + top[4] * (2 * MENU.index("最近提醒") + 1) // (2 * len(MENU))
        self.x.out("xdotool", "mousemove", str(mx - 5), str(my))
        self.x.out("xdotool", "mousemove", str(mx), str(my))
        subs = wait_for(lambda: [m for m in self.popup_menus() if m[0] not in before and m[0] != top[0]], 5, 0.2)
        if not subs:
            return {"open": False}, "the menu opened, pointing at %s opened no submenu" % MENU[1]
        self.open_menus = (top, subs[0])
        return {"open": True, "menu": top, "submenu": subs[0]}, "right click on the panel's icon at %d,%d" % icon

    def shell_menu_now(self, opened):
        if self.row.shell == "gnome":
            return self.gnome_submenu() or {"open": False}
        menus = {m[0]: m for m in self.popup_menus()}
        sub = menus.get(opened["submenu"][0])
        return {"open": sub is not None and opened["menu"][0] in menus, "submenu": sub}

    def close_shell_menu(self):
        if self.row.shell == "gnome":
            self.gnome_close_menu()
        elif getattr(self, "open_menus", None):
            for _ in range(2):
                self.x.out("xdotool", "key", "Escape")
            wait_for(lambda: not any(m[0] in {o[0] for o in self.open_menus} for m in self.popup_menus()), 3, 0.2)

    def click_tray_icon(self):
        """A left click on lckb's icon in the shell's panel (Activate over
        D-Bus where the panel is out of reach)."""
        if self.row.shell == "gnome":
            icon = self.gnome_tray_icon()
            if icon:
                # GNOME's AppIndicator extension opens the menu on a single
                # click and activates the item on a double click.
                self.gnome_pointer(int(icon[0] + icon[2] / 2), int(icon[1] + icon[3] / 2), click=True, clicks=2)
                return "double click on the icon in GNOME's top bar"
        elif self.row.display == "xvfb":
            icon = self.panel_icon()
            if icon:
                self.x.out("xdotool", "mousemove", str(icon[0]), str(icon[1]), "click", "1")
                return "left click on the icon in the panel"
        self.tool("lckb-sni-host", "activate", "10", "10")
        return "Activate(x, y)"

    def shot(self, name):
        """A screenshot for --keep: the whole screen as the shell shows it."""
        if self.row.shell == "gnome":
            self.gnome_screenshot(name)
        elif self.row.display == "xvfb":
            run(["import", "-window", "root", self.path(name)], self.env)
