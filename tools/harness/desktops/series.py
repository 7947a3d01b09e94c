"""The checks of the real desktops: a series of bulletins while another
program is active (every pop-up seen, none taking the keyboard), the icon
in the desktop's own panel, 最近提醒 open in the panel while a bulletin
comes, the focus after the close box, and the pop-ups on Wayland as GNOME
holds them.
"""
import time

from ..common import read, wait_for
from .rows import (CLICKED_ID, JUDGED_S, MENU, POLL_S, POPUP_TITLE, RECENT_LIMIT, SERIES, SERIES_APART,
                   SERIES_PAUSE, SERIES_QUIET, twips)
from .shells import FOREIGN


class SeriesChecksMixin:
    """The checks only the real desktops' rows run."""

    def check_series_popups(self):
        """The ten bulletins of the series arrive while another program is
        active: every pop-up must be mapped and viewable (KWin unmaps the tool
        windows of an inactive program), and none may take the keyboard."""
        res, want = self.res, len(SERIES)
        seen, order, focus_hits = {}, [], []
        end = time.monotonic() + SERIES_QUIET * POLL_S + want * SERIES_APART * POLL_S + 40
        while time.monotonic() < end:
            now = time.monotonic()
            for w in self.x.search(POPUP_TITLE, visible=False):
                if w not in seen:
                    seen[w] = {"t": now, "viewable": 0, "hidden": 0}
                    order.append(w)
                # Judged from its first second on, for a while: a moment to be
                # mapped, and done before three newer ones close it.
                age = now - seen[w]["t"]
                if age > JUDGED_S:
                    continue
                state = self.map_state(w)
                if state == "IsViewable":
                    seen[w]["viewable"] += 1
                elif state and age > 1.0:
                    seen[w]["hidden"] += 1
            for w in (self.focus_window(), self.active_window()):
                if w in seen and w not in focus_hits:
                    focus_hits.append(w)
            if len(order) >= want and now - seen[order[want - 1]]["t"] > JUDGED_S:
                break
            time.sleep(0.2)
        series = order[:want]
        shown = [w for w in series if seen[w]["viewable"] and not seen[w]["hidden"]]
        active = self.active_window()
        self.figures["pop-ups viewable, another program active"] = "%d of %d" % (len(shown), want)
        if len(series) < want:
            res.fail("announce", "%d of %d pop-ups within the series' time" % (len(series), want))
        else:
            res.ok("announce", "%d pop-ups, one every %d polls" % (want, SERIES_APART))
        detail = "%d of %d pop-ups mapped and viewable while %s was active" % (len(shown), want, FOREIGN)
        hidden = [hex(w) for w in series if w not in shown]
        if len(shown) == want and self.foreign_was_active:
            res.ok("inactive", detail)
        else:
            res.fail("inactive", detail + ("; not viewable: " + ", ".join(hidden) if hidden else "") +
                     ("" if self.foreign_was_active else "; the other program never got the focus"))
        if focus_hits:
            res.fail("focus", "keyboard focus or active window on pop-up(s) %s" % ", ".join(hex(w) for w in focus_hits))
        else:
            res.ok("focus", "no pop-up had the focus or was the active window (active now: %s)" % (
                hex(active) if active else None))
        newest = series[-1] if series else None
        if newest and newest in self.x.search(POPUP_TITLE, visible=False):
            self.window_record("pop-up", newest)
            self.check_place(newest)
        else:
            res.fail("place", "no pop-up left to measure")
        return newest

    @staticmethod
    def submenu_of(dump):
        for c in (dump or {}).get("menu", {}).get("children", []):
            if c.get("label") == MENU[1]:
                return c
        return None

    def announced(self):
        """How many changed replies lckb has met so far (its trace): one bulletin each here."""
        return read(self.path("trace.txt")).count("poll compared")

    def check_submenu(self):
        """最近提醒 opened in the shell's panel before the last bulletin must
        stay open and show it at the top. The tray learns of it by changes of
        its entries, never of the layout (after a layout update GNOME builds
        the submenu anew, closed); the entries keep their ids."""
        res = self.res
        before = self.sni_dump()
        sub0 = self.submenu_of(before)
        item = (before or {}).get("item", "")
        sender = item.split("/")[0].rstrip("@") if item else None
        if not sub0:
            res.fail("submenu", "no %s in the item's menu" % MENU[1])
            return
        n0 = self.announced()
        updates0 = len(self.layout_updates(sender))
        changes0 = len(self.property_updates(sender))
        opened, how = self.open_shell_menu()
        opened_at = self.announced()
        if opened is not None and not opened.get("open"):
            res.fail("submenu", "could not open it: " + how)
        last = self.shown[-1]
        if not wait_for(lambda: self.announced() > n0, SERIES_PAUSE * POLL_S + 20, 0.2):
            res.fail("submenu", "the last bulletin never came")
            return
        time.sleep(1.0)  # the host takes the changes
        after = self.sni_dump()
        sub1 = self.submenu_of(after)
        problems = []
        if opened_at > n0:
            problems.append("opened only after the bulletin came (%s)" % how)
        kids0 = [c for c in sub0.get("children", []) if c.get("visible", True)]
        kids1 = [c for c in (sub1 or {}).get("children", []) if c.get("visible", True)]
        labels0 = [c.get("label", "") for c in kids0]
        labels1 = [c.get("label", "") for c in kids1]
        if not sub1 or sub1.get("id") != sub0.get("id"):
            problems.append("the submenu's id changed")
        elif [c["id"] for c in kids1[:len(kids0)]] != [c["id"] for c in kids0]:
            problems.append("its entries were replaced (ids %s, then %s)"
                            % ([c["id"] for c in kids0], [c["id"] for c in kids1]))
        elif not labels1 or not labels1[0].endswith(last) or labels1[1:] != labels0[:RECENT_LIMIT - 1]:
            problems.append("it shows %r, before %r" % (labels1[:3], labels0[:2]))
        updates = len(self.layout_updates(sender)) - updates0
        changes = len(self.property_updates(sender)) - changes0
        if updates:
            problems.append("%d layout update(s) for one bulletin (a host builds the submenu anew)" % updates)
        shell_view = ""
        if self.shots:
            self.shot("menu.png")
        if opened is not None and opened.get("open"):
            now = self.shell_menu_now(opened)
            if not now.get("open"):
                problems.append("the shell closed the submenu")
            elif self.row.shell == "gnome" and not (now.get("labels") or [""])[0].endswith(last):
                problems.append("the shell shows %r at the top" % (now.get("labels") or [None])[0])
            shell_view = "; opened by %s, still open" % how
            if self.row.shell != "gnome" and now["submenu"][4] == opened["submenu"][4]:
                # GTK and Qt keep an open menu's size: the new entry scrolls it.
                shell_view += " (at %d px, scrolling)" % now["submenu"][4]
        else:
            shell_view = "; " + how
        total = len(self.layout_updates(sender))
        self.figures["layout updates per bulletin"] = "%d for the last (%d property updates); %d for %d bulletins" % (
            updates, changes, total, self.announced())
        detail = "%d entries; %d layout updates, %d property updates for the new one%s" % (
            len(kids1), updates, changes, shell_view)
        if problems:
            res.fail("submenu", "; ".join(problems + [detail]))
        else:
            res.ok("submenu", "the entries kept their ids, the texts moved down, the new one on top; " + detail)
        self.close_shell_menu()

    def newest_popup(self):
        found = self.x.search(POPUP_TITLE, visible=True)
        return max(found) if found else None

    def check_focus_after_close(self):
        """The window manager gives the focus to another window once the main
        window is hidden: never to one of the pop-ups still on screen."""
        res = self.res
        time.sleep(1.0)
        popups = set(self.x.search(POPUP_TITLE, visible=True))
        focus, active = self.focus_window(), self.active_window()
        names = {}
        for w in (focus, active):
            if w:
                p = self.x.props(w, ["_NET_WM_NAME", "WM_NAME"])
                names[w] = next((v for v in (p.get("_NET_WM_NAME"), p.get("WM_NAME")) if v and "not found" not in v), "?")
        said = "focus %s %s, active window %s %s" % (hex(focus) if focus else None, names.get(focus, ""),
                                                      hex(active) if active else None, names.get(active, ""))
        if self.row.shell == "gnome":
            said += ", GNOME's focus window %r" % self.gnome_focus()
        self.figures["focus after the close box"] = said
        bad = (focus in popups or active in popups or
               (self.row.shell == "gnome" and (self.gnome_focus() or "").startswith(POPUP_TITLE.lstrip("^"))))
        detail = "%d pop-up(s) on screen; %s" % (len(popups), said)
        if bad:
            res.fail("focus", "after the close box: " + detail)
        elif res.checks.get("focus", ("ok",))[0] == "ok":
            prev = res.checks.get("focus", ("", "", 0))[1]
            res.ok("focus", (prev + "; " if prev else "") + "after the close box: " + detail)

    def check_wayland_popups(self):
        """Wayland without a notification server: the pop-up windows as GNOME
        holds them (the script sees no Wayland window otherwise). What the
        compositor decides (place, focus, title-bar buttons, task bar) is
        reported, not judged: the client cannot ask for more there."""
        res, want = self.res, len(SERIES)
        seen, order = {}, []
        caption = POPUP_TITLE.lstrip("^")
        end = time.monotonic() + SERIES_QUIET * POLL_S + want * SERIES_APART * POLL_S + 40
        while time.monotonic() < end:
            now = time.monotonic()
            for w in self.gnome_windows():
                if not w.get("title", "").startswith(caption):
                    continue
                st = seen.get(w["id"])
                if st is None:
                    st = seen[w["id"]] = {"t": now, "shown": 0, "hidden": 0, "focus": 0, "last": w}
                    order.append(w["id"])
                st["last"] = w
                st["shown" if w["shown"] else "hidden"] += 1
                st["focus"] += 1 if w["focus"] else 0
            if len(order) >= want and now - seen[order[want - 1]]["t"] > 1.5:
                break
            time.sleep(0.3)
        series = order[:want]
        shown = [i for i in series if seen[i]["shown"] and not seen[i]["hidden"]]
        focused = [i for i in series if seen[i]["focus"]]
        self.figures["pop-ups shown, another program active"] = "%d of %d" % (len(shown), want)
        (res.ok if len(series) == want else res.fail)("announce", "%d of %d pop-ups (windows on Wayland)"
                                                     % (len(series), want))
        (res.ok if len(shown) == want and self.foreign_was_active else res.fail)(
            "inactive", "%d of %d pop-ups shown while %s was active%s" % (
                len(shown), want, FOREIGN, "" if self.foreign_was_active else
                " (but it never got the focus)"))
        last = seen[series[-1]]["last"] if series else {}
        area = self.gnome_work_area()
        res.skip("focus", "the compositor's choice: %d of %d pop-ups got the focus" % (len(focused), want))
        res.skip("place", "the compositor's choice: frame at %r, work area %r" % (last.get("frame"), area))
        res.skip("flags", "the compositor's choice: title bar %s, minimise %s, maximise %s, close %s, in the task "
                 "bar %s" % ("drawn" if last.get("decorated") else "none", last.get("minimize"),
                             last.get("maximize"), last.get("close"), not last.get("skipTaskbar")))
        self.wayland_popup = last
        return last or None

    def check_wayland_popup_open(self):
        """A click on the newest pop-up's text, with GNOME's own pointer."""
        res = self.res
        target = "/nc/show.asp?id=%d" % CLICKED_ID
        caption = POPUP_TITLE.lstrip("^")
        pops = [w for w in self.gnome_windows() if w.get("title", "").startswith(caption)]
        if not pops:
            res.fail("open", "no pop-up left to click")
            return
        newest = max(pops, key=lambda w: w["id"])
        x, y, fw, fh = newest["frame"]
        # The text line "有新信息，请点击查看！" is the lowest third of the window.
        cx, cy = x + fw // 2, y + fh - twips(1530 - 1087)
        if self.shots:
            self.shot("popup.png")
        self.gnome_pointer(cx, cy, click=True)
        if wait_for(lambda: self.requested(target), 10):
            res.ok("open", "GNOME pointer click at %d,%d on the pop-up -> GET %s" % (cx, cy, target))
        else:
            res.fail("open", "click at %d,%d on the pop-up, but %s was never requested" % (cx, cy, target))

    def check_panel(self):
        """lckb's icon shown in the shell's own panel."""
        res = self.res
        if self.row.shell == "gnome":
            icon = wait_for(self.gnome_tray_icon, 10, 0.3)
            (res.ok if icon else res.fail)("panel", "icon in GNOME's top bar at %r" % (icon,) if icon else
                                           "no lckb indicator shown in GNOME's top bar")
        elif self.x is not None and self.row.display == "xvfb":
            icon = wait_for(self.panel_icon, 10, 0.5)
            (res.ok if icon else res.fail)("panel", "icon in the panel at %d,%d" % icon if icon else
                                           "lckb's icon not found in the panel")
        else:
            res.skip("panel", "the panel is a Wayland window: the watcher's host registration only")
