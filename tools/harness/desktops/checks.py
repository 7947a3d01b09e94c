"""The checks of a row: start and platform, the tray, the pop-up and where
it lands, desktop notifications, the click that opens a bulletin, the
window flags, hiding to the tray, the scale, quitting. Each puts its
verdict in the row's Result; the real desktops' own checks are in series.py.
"""
import json
import os
import re
import signal
import subprocess
import time

from ..common import read, run, wait_for
from .rows import (CHANGES, CLICKED_ID, DIALOG_TITLE, MAIN_TITLE, MENU, NOTIFY_BODY, POLL_S, POPUP_TITLE,
                   SECONDARY_TITLE, SERIES_APART, SERIES_QUIET, SNI_TITLE, TOOLTIP, arrived, twips)
from .shells import FOREIGN


class ChecksMixin:
    """The checks every row may run."""

    def check_start(self):
        res, row = self.res, self.row
        self.main = None
        loaded = wait_for(lambda: self.requested("/nc/i88-61.asp") or not self.alive(), 40)
        if not self.alive():
            res.fail("start", "lckb ended: " + read(self.path("lckb.log"))[-400:])
            return False
        if not loaded:
            res.fail("start", "the main page was never requested")
            return False
        plugins = sorted(set(re.findall(r"libq(xcb|wayland-generic|wayland-egl|offscreen)\.so",
                                        read("/proc/%d/maps" % self.app.pid))))
        self.platform = "wayland" if any(p.startswith("wayland") for p in plugins) else (plugins or ["?"])[0]
        if row.x11 and self.platform == "xcb":
            self.main = self.x.wait_window(MAIN_TITLE, 30)
            if self.main is None:
                res.fail("start", "no main window on the X display")
                return False
        res.ok("start", "main window %s" % (hex(self.main) if self.main else "(on Wayland, not visible to X)"))
        if self.platform == row.platform:
            res.ok("platform", self.platform)
        else:
            res.fail("platform", "Qt loaded the %s plugin; wanted %s" % (self.platform, row.platform))
        return True

    def check_tray(self):
        res, row = self.res, self.row
        if row.tray == "xembed":
            icon = wait_for(self.x.tray_icon, 15, 0.3)
            if icon:
                self.icon = icon
                res.ok("tray", "docked in trayer as %s" % hex(icon))
            else:
                res.fail("tray", "no lckb window in trayer's panel")
        elif row.tray in ("sni", "shell"):
            rc, out, err = self.tool("lckb-sni-host", "wait-item", "--timeout", "20", timeout=30)
            if rc != 0:
                res.fail("tray", "no item registered: " + err.strip())
                res.fail("sni-title", "no item")
                return
            rc, out, err = self.tool("lckb-sni-host", "dump")
            try:
                dump = json.loads(out)
            except ValueError:
                res.fail("tray", "dump failed: " + err.strip())
                return
            props = dump.get("properties", {})
            self.sni = dump
            tip = (props.get("ToolTip") or ["", [], "", ""])
            labels = [c.get("label") for c in dump.get("menu", {}).get("children", [])]
            reg = [e for e in self.events("sni") if e.get("event") == "RegisterStatusNotifierItem"]
            problems = []
            if len(tip) < 3 or tip[2] != TOOLTIP:
                problems.append("tooltip %r" % (tip,))
            if labels != MENU:
                problems.append("menu %r" % labels)
            if not props.get("IconPixmap") and not props.get("IconName"):
                problems.append("no icon")
            detail = "item %s (registered as %r), Id %r, tooltip %r, menu %s, icon %s" % (
                dump.get("item"), reg[0].get("arg") if reg else None, props.get("Id"), tip[2] if len(tip) > 2 else None,
                "/".join(str(x) for x in labels),
                ",".join("%dx%d" % (p[0], p[1]) for p in props.get("IconPixmap", [])))
            (res.fail if problems else res.ok)("tray", "; ".join(problems) or detail)
            if props.get("Title") == SNI_TITLE:
                res.ok("sni-title", props.get("Title"))
            else:
                res.fail("sni-title", "Title is %r, wanted %r" % (props.get("Title"), SNI_TITLE))
        else:
            if wait_for(lambda: self.trace("tray-shown"), 15) and self.trace("tray-shown no-tray"):
                res.ok("tray", "none, and lckb knows it (trace: no-tray)")
            else:
                res.fail("tray", "trace says: %r" % read(self.path("trace.txt"))[:200])

    def window_record(self, role, w):
        names = ["_NET_WM_NAME", "_NET_WM_WINDOW_TYPE", "_NET_WM_STATE", "_NET_WM_ALLOWED_ACTIONS",
                 "_MOTIF_WM_HINTS", "WM_TRANSIENT_FOR", "_NET_FRAME_EXTENTS"]
        p = self.x.props(w, names)
        p["geometry"] = "%d,%d %dx%d" % self.x.geometry(w)
        self.res.windows[role] = p
        return p

    def check_popup(self):
        res = self.res
        w = self.x.wait_window(POPUP_TITLE, 40)
        if not w:
            res.fail("announce", "no pop-up within 40 s; polls: %d" % read(self.path("requests.log")).count("tx.asp"))
            return None
        res.ok("announce", "pop-up %s %r" % (hex(w), self.x.props(w, ["_NET_WM_NAME"]).get("_NET_WM_NAME")))
        time.sleep(1.0)  # the pop-up places itself again once shown
        self.window_record("pop-up", w)
        if self.shots and self.row.display in ("xvfb", "xorg"):  # a rootless XWayland has no root picture
            run(["import", "-window", "root", self.path("popup.png")], self.env)
        self.check_place(w)
        return w

    def check_place(self, w):
        """The frame 50 twips from the right, 500 above the bottom of the
        screen (the primary monitor, where there are several), or, where
        that is not wholly inside the work area (a tall panel at the
        bottom), moved up and left just as far as it takes."""
        res, s = self.res, self.row.scale
        left, top, right, bottom = self.x.outer(w)
        _, _, cw, ch = self.x.geometry(w)
        if self.row.monitors:
            # The window manager's _NET_WORKAREA spans every monitor: the
            # primary one, above the top of the panel on it.
            sx, sy, sw, sh = next((m[:4] for m in self.x.monitors() if m[4]), (0, 0, 0, 0))
            panel = self.x.search("^panel$")
            panel_top = self.x.geometry(panel[0])[1] if panel else sy + sh
            area = (sx, sy, sw, min(sh, panel_top - sy))
            self.figures["frame bottom / panel top"] = "%d / %d" % (bottom, panel_top)
        else:
            sx, sy = 0, 0
            sw, sh = self.x.screen()
            area = self.work_area() or (0, 0, sw, sh)
        ax, ay, aw, ah = area
        want_r = min(sx + sw - twips(50) * s, ax + aw)
        want_b = min(sy + sh - twips(500) * s, ay + ah)
        tol = 2 * s
        problems = []
        if abs(right - want_r) > tol or abs(bottom - want_b) > tol:
            problems.append("outer right/bottom %d,%d, wanted %d,%d" % (right, bottom, want_r, want_b))
        if left < ax or top < ay or right > ax + aw or bottom > ay + ah:
            problems.append("not wholly inside the work area")
        want_w, want_h = twips(3450) * s, twips(1530) * s
        if abs(cw - want_w) > s or abs(ch - want_h) > s:
            problems.append("size %dx%d, wanted %dx%d" % (cw, ch, want_w, want_h))
        detail = "frame %d,%d-%d,%d, work area %d,%d-%d,%d (bottom %d px above the frame's), screen %d,%d %dx%d, " \
                 "client %dx%d" % (left, top, right, bottom, ax, ay, ax + aw, ay + ah, ay + ah - bottom, sx, sy, sw, sh,
                                   cw, ch)
        self.figures["frame bottom / work-area bottom"] = "%d / %d" % (bottom, ay + ah)
        self.note_work_area_source()
        (res.fail if problems else res.ok)("place", "; ".join(problems + [detail]) if problems else detail)

    def note_work_area_source(self):
        """Which work area lckb placed its last pop-up in, as its log says
        (a figure for comparing window managers, not a check)."""
        said = re.findall(r"work area of .*? from (.+)$", read(self.path("lckb.log")), re.M)
        if said:
            self.figures["work area from"] = said[-1].strip()

    def check_a11y(self):
        """What a screen reader reads of the program while a pop-up is up."""
        res = self.res
        titles = {arrived(c)[1] for c in CHANGES}
        script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "atspi_tree.py")
        tree = {}

        def read_tree():
            rc, out, err = run(["/usr/bin/python3", script, SNI_TITLE], self.env, timeout=20)
            try:
                tree.update(json.loads(out))
            except ValueError:
                return False
            wins = tree.get("windows") or []
            return any(w["role"] == "alert" for w in wins) and any(w["role"] == "frame" for w in wins)

        if not wait_for(read_tree, 15, 0.5):
            res.fail("a11y", "no frame and alert read over AT-SPI: %s" % json.dumps(tree, ensure_ascii=False)[:300])
            return
        wins = tree["windows"]
        problems = ["%s %r not showing" % (w["role"], w["name"]) for w in wins if not w["showing"]]
        if not any(w["role"] == "frame" and re.match(MAIN_TITLE, w["name"]) for w in wins):
            problems.append("no frame named as the main window")
        alerts = [w for w in wins if w["role"] == "alert"]
        for a in alerts:
            if a["name"] not in titles:
                problems.append("alert named %r, not a bulletin's title" % a["name"])
            x, y, wd, ht = a["extents"]
            for c in a.get("children", []):
                cx, cy, cw, ch = c["extents"]
                if cx < x or cy < y or cx + cw > x + wd or cy + ch > y + ht:
                    problems.append("%s %r at %s outside its alert at %s" % (c["role"], c["name"], c["extents"],
                                                                           a["extents"]))
        others = sorted({w["role"] for w in wins} - {"frame", "alert"})
        if others:
            problems.append("other windows: " + ", ".join(others))
        (res.fail if problems else res.ok)("a11y", "; ".join(problems) or
                                           "frame %r, %d alert(s) named by their titles, labels inside" % (
                                               next(w["name"] for w in wins if w["role"] == "frame"), len(alerts)))

    def check_notifications(self):
        res = self.res
        series = self.row.series
        want = len(self.shown) - (1 if series else 0) if (self.row.burst or series) else 1
        notifies = lambda: [e for e in self.notify_log() if e.get("call") == "Notify"]
        if wait_for(notifies, 40 + (SERIES_QUIET if series else 0)):
            # The rest follows a poll or two apart; give a straggler a moment.
            wait_for(lambda: len(notifies()) >= want, want * POLL_S * (SERIES_APART if series else 1) + 5)
            time.sleep(POLL_S + 1)
        calls = notifies()
        if not calls:
            res.fail("announce", "no Notify call within 40 s (%d polls reached the simulator)"
                     % read(self.path("requests.log")).count("tx.asp"))
            res.fail("notify", "no Notify call")
            if self.row.burst or series:
                res.fail("notify-limit", "no Notify call")
            return None
        res.ok("announce", "%d Notify call(s)" % len(calls))
        first = calls[0]
        problems = []
        title0 = self.shown[0]
        if title0 not in first.get("summary", ""):
            problems.append("summary %r lacks %r" % (first.get("summary"), title0))
        if first.get("body") != NOTIFY_BODY:
            problems.append("body %r" % first.get("body"))
        if "default" not in first.get("actions", [])[0::2]:
            problems.append("no default action in %r" % first.get("actions"))
        detail = "app_name %r, summary %r, body %r, actions %r, hints %r" % (
            first.get("app_name"), first.get("summary"), first.get("body"), first.get("actions"),
            first.get("hints"))
        (res.fail if problems else res.ok)("notify", "; ".join(problems) or detail)
        if self.row.burst or series:
            closes = [e for e in self.notify_log() if e.get("call") == "CloseNotification"]
            most = max(e.get("open", 0) for e in calls)
            if len(calls) >= 4 and any(c.get("id") == first.get("id") for c in closes) and most <= 3:
                res.ok("notify-limit", "%d Notify, oldest closed by CloseNotification, at most %d open" % (len(calls), most))
            else:
                res.fail("notify-limit", "%d Notify, CloseNotification of %r, at most %d open (wanted 4, the first "
                         "closed, 3)" % (len(calls), [c.get("id") for c in closes], most))
        if series:
            return calls[-1].get("id")
        title = arrived(CHANGES[-1])[1]
        for c in reversed(calls):
            if title in c.get("summary", ""):
                return c.get("id")
        return None

    def check_open(self, popup=None, note_id=None):
        res, s = self.res, self.row.scale
        target = "/nc/show.asp?id=%d" % CLICKED_ID
        if not wait_for(lambda: self.trace("page-loaded ok"), 30):
            res.fail("open", "the main page never finished loading")
            return
        if popup:
            # The second line of the pop-up, "有新信息，请点击查看！", is a link.
            _, _, cw, _ = self.x.geometry(popup)
            self.x.click(popup, cw // 2, twips(1087) * s)
            how = "click on the pop-up's text"
        elif note_id is not None and self.row.shell == "gnome":
            title = arrived(CHANGES[-1])[1]
            if not self.gnome_activate_notification(title):
                res.fail("open", "GNOME shows no notification %r (it has %r)" % (title, self.gnome_notifications()))
                return
            how = "a click on GNOME's notification"
        elif note_id is not None and self.row.shell:
            ok, how = self.invoke_notification(note_id)
            if not ok:
                res.fail("open", how)
                return
        elif note_id is not None:
            rc, out, err = self.tool("lckb-notifyd", "invoke", str(note_id), "default")
            if rc != 0:
                res.fail("open", "invoke failed: " + err.strip())
                return
            how = "ActionInvoked(%d, \"default\")" % note_id
        else:
            res.fail("open", "nothing to click")
            return
        if wait_for(lambda: self.requested(target), 10):
            extra = ""
            if popup and self.main:
                shown = wait_for(lambda: self.x.visible(self.main), 5)
                gone = wait_for(lambda: not self.x.visible(popup), 5)
                extra = "; main window %s, pop-up %s" % ("shown" if shown else "NOT shown",
                                                         "closed" if gone else "still open")
            res.ok("open", "%s -> GET %s%s" % (how, target, extra))
        else:
            res.fail("open", "%s, but %s was never requested" % (how, target))

    def check_windows(self):
        """The channel dialog and a secondary browser window, opened from the main window."""
        res, s = self.res, self.row.scale
        if not self.main:
            return
        self.x.out("xdotool", "windowactivate", "--sync", str(self.main))
        for _ in range(2):  # the reminder switch off, then on: the channel dialog opens
            self.x.click(self.main, 440 * s, 14 * s)
            time.sleep(0.7)
        dlg = self.x.wait_window(DIALOG_TITLE, 10)
        if dlg:
            self.window_record("channel dialog", dlg)
            self.x.close(dlg)
        self.x.click(self.main, 327 * s, 44 * s)  # the banner's report link opens a window of its own
        sec = self.x.wait_window(SECONDARY_TITLE, 15)
        if sec:
            time.sleep(0.5)
            self.window_record("secondary window", sec)
            self.x.close(sec)
        self.window_record("main window", self.main)
        problems = []
        for role in ("pop-up", "channel dialog"):
            p = res.windows.get(role)
            if p is None:
                problems.append("%s not seen" % role)
                continue
            if "_NET_WM_STATE_SKIP_TASKBAR" not in p.get("_NET_WM_STATE", ""):
                problems.append("%s: no _NET_WM_STATE_SKIP_TASKBAR" % role)
            mwm = [int(v, 16) for v in re.findall(r"0x[0-9a-f]+", p.get("_MOTIF_WM_HINTS", ""))]
            if len(mwm) >= 3:
                flags, funcs, decor = mwm[:3]
                if flags & 1 and not funcs & 1 and funcs & (0x8 | 0x10):
                    problems.append("%s: Motif functions allow minimise/maximise (0x%x)" % (role, funcs))
                if flags & 2 and not decor & 1 and decor & (0x20 | 0x40):
                    problems.append("%s: Motif decorations have minimise/maximise (0x%x)" % (role, decor))
                if flags & 1 and not funcs & 1 and not funcs & 0x20:
                    problems.append("%s: no close function" % role)
            else:
                problems.append("%s: no _MOTIF_WM_HINTS" % role)
            actions = p.get("_NET_WM_ALLOWED_ACTIONS", "")
            if self.row.wm != "openbox" and ("MINIMIZE" in actions or "MAXIMIZE" in actions):
                # openbox ignores the Motif minimise/maximise functions; other managers honour them.
                problems.append("%s: the window manager allows %s" % (
                    role, ",".join(a for a in ("MINIMIZE", "MAXIMIZE_HORZ") if a in actions)))
        if sec is None:
            problems.append("no secondary window")
        (res.fail if problems else res.ok)("flags", "; ".join(problems) or "pop-up and dialog: close only, no task bar")

    def check_hide(self):
        res, row = self.res, self.row
        if not self.main:
            res.skip("hide", "main window not visible to X")
            return
        if not wait_for(lambda: self.x.visible(self.main), 5):
            self.x.out("xdotool", "windowmap", str(self.main))
        if row.series:
            # Nothing but lckb on screen: the window manager looks among its
            # windows for one to give the focus.
            foreign = self.x.wait_window("^%s$" % FOREIGN, 2)
            if foreign:
                self.x.out("xdotool", "windowminimize", "--sync", str(foreign))
        self.x.close(self.main)  # the close box, through the window manager
        if row.tray:
            if not wait_for(lambda: not self.x.visible(self.main) and self.x.wm_state(self.main) != "Iconic", 5):
                res.fail("hide", "close box: main window state %s, visible %s" % (
                    self.x.wm_state(self.main), self.x.visible(self.main)))
                return
            if row.series:
                self.check_focus_after_close()
            how = self.click_own_tray_icon()
            if wait_for(lambda: self.x.visible(self.main), 5):
                res.ok("hide", "close box hid the main window to the tray; %s brought it back" % how)
            else:
                res.fail("hide", "hidden to the tray, but %s did not bring it back" % how)
        else:
            if wait_for(lambda: self.x.wm_state(self.main) == "Iconic", 5):
                res.ok("hide", "no tray: the close box minimised the main window (WM_STATE Iconic)")
            else:
                res.fail("hide", "no tray: main window state %s after the close box" % self.x.wm_state(self.main))

    def click_own_tray_icon(self):
        """A left click on lckb's icon in the row's tray; says how."""
        row = self.row
        if row.tray == "shell":
            return self.click_tray_icon()
        if row.tray == "xembed":
            icon = self.x.tray_icon()
            if icon:
                self.x.click(icon, 8 * row.scale, 8 * row.scale)
            return "left click on the tray icon"
        self.tool("lckb-sni-host", "activate", "10", "10")
        return "Activate(x, y)"

    def main_layout(self):
        """Where a screen reader finds 关闭退出 and the page in the main
        window (desktop coordinates), or None."""
        script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "atspi_tree.py")
        rc, out, err = run(["/usr/bin/python3", script, SNI_TITLE], self.env, timeout=20)
        try:
            wins = json.loads(out).get("windows") or []
        except ValueError:
            return None
        for w in wins:
            if w["role"] == "frame" and re.match(MAIN_TITLE, w["name"]):
                got = {c["name"] or c["role"]: tuple(c["extents"]) for c in w.get("children", [])
                       if c["name"] == MENU[-1] or c["role"] == "filler"}
                if MENU[-1] in got and "filler" in got:
                    return got
        return None

    def check_restore(self):
        """Minimised by the window manager and brought back by the tray icon,
        three times: 关闭退出 and the page where they were."""
        res, row = self.res, self.row
        if not (self.main and row.tray in ("xembed", "shell") and row.a11y):
            res.skip("restore", "needs the main window, a tray and a screen reader's bus")
            return
        # The icon must be there to be clicked.
        wait_for(self.x.tray_icon if row.tray == "xembed" else self.panel_icon, 15, 0.3)
        before = wait_for(self.main_layout, 10, 0.5)
        if not before:
            res.fail("restore", "关闭退出 and the page not read over AT-SPI")
            return
        problems, how, after = [], "", before
        for n in range(3):
            self.x.out("xdotool", "windowminimize", "--sync", str(self.main))
            if not wait_for(lambda: self.x.wm_state(self.main) == "Iconic", 5):
                problems.append("minimise %d: WM_STATE %s" % (n + 1, self.x.wm_state(self.main)))
                break
            how = self.click_own_tray_icon()
            if not wait_for(lambda: self.x.visible(self.main), 5):
                problems.append("restore %d: %s did not bring the window back" % (n + 1, how))
                break
            time.sleep(0.7)
            after = self.main_layout()
            if after != before:
                problems.append("restore %d: %s, before %s" % (n + 1, after, before))
        self.figures["关闭退出 before / after restores"] = "%s / %s" % (before[MENU[-1]], (after or {}).get(MENU[-1]))
        (res.fail if problems else res.ok)("restore", "; ".join(problems) or
                                           "3 minimise / %s: 关闭退出 at %s and the page at %s stayed" % (
                                               how, before[MENU[-1]], before["filler"]))

    def check_quit(self):
        res = self.res
        if self.row.tray in ("sni", "shell"):
            rc, out, err = self.tool("lckb-sni-host", "click-menu", MENU[-1])
            how = "tray menu %s (dbusmenu Event clicked)" % MENU[-1]
            if rc != 0:
                res.fail("quit", "menu click failed: " + err.strip())
                self.app.send_signal(signal.SIGTERM)
                how = "SIGTERM after the failed menu click"
        else:
            self.app.send_signal(signal.SIGTERM)
            how = "SIGTERM"
        try:
            rc = self.app.wait(15)
        except subprocess.TimeoutExpired:
            res.fail("quit", "%s: still running after 15 s" % how)
            return
        (res.ok if rc == 0 else res.fail)("quit", "%s: ended with status %d" % (how, rc))

    def scale_compare(self):
        res = self.res
        ref = self.reference.get("x11-xembed")
        mine = res.windows.get("main window") or (self.main and self.window_record("main window", self.main))
        if not ref or "main window" not in ref.windows or not mine:
            res.skip("scale", "no 96 DPI reference row to compare with")
            return
        a = [int(v) for v in re.findall(r"\d+", ref.windows["main window"]["geometry"])[2:4]]
        b = [int(v) for v in re.findall(r"\d+", mine["geometry"])[2:4]]
        ratio = (b[0] / a[0], b[1] / a[1]) if a[0] and a[1] else (0, 0)
        detail = "main window %dx%d here, %dx%d at 96 DPI (x%.2f, x%.2f)" % (b[0], b[1], a[0], a[1], *ratio)
        if all(abs(r - self.row.scale) < 0.03 for r in ratio):
            res.ok("scale", detail)
        else:
            res.fail("scale", detail)
