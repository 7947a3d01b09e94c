"""What the window system shows: windows by title, their properties
(_NET_WM_STATE, frame extents, Motif hints), geometry (xwininfo), the work
area (_NET_WORKAREA), the active and focused window, the tray icon docked
in trayer or drawn in a panel, the menus on screen, the screen's pixels.
"""
import re
import subprocess

from ..common import run, wait_for


# What a panel's tray shows of lckb: the red of its icon, which no panel,
# clock or other icon of these desktops uses.
def icon_red(r, g, b):
    return r >= 130 and g <= 70 and b <= 70 and r >= 2 * max(g, b) + 40


class X:
    def __init__(self, env):
        self.env = env

    def out(self, *argv):
        return run(list(argv), self.env)[1]

    def search(self, regex, visible=True):
        argv = ["xdotool", "search"] + (["--onlyvisible"] if visible else []) + ["--name", regex]
        return [int(w) for w in self.out(*argv).split()]

    def wait_window(self, regex, timeout):
        found = wait_for(lambda: self.search(regex), timeout, 0.2)
        return found[0] if found else None

    def props(self, w, names):
        text = self.out("xprop", "-id", str(w), *names)
        got = {}
        for line in text.splitlines():
            m = re.match(r"^([A-Z_]+)(\([^)]*\))?(:| =)\s*(.*)$", line)
            if m:
                got[m.group(1)] = m.group(4).strip()
        return got

    def geometry(self, w):
        """Client area on the root window. (xdotool getwindowgeometry counts the
        frame offset twice for reparented windows, so xwininfo it is.)"""
        text = self.out("xwininfo", "-root") if w == "root" else self.out("xwininfo", "-id", str(w))
        keys = ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height")
        got = dict(re.findall(r"^\s*([A-Za-z -]+):\s+(-?\d+)\s*$", text, re.M))
        return tuple(int(got.get(k, 0)) for k in keys)

    def extents(self, w):
        v = self.props(w, ["_NET_FRAME_EXTENTS"]).get("_NET_FRAME_EXTENTS", "")
        n = [int(x) for x in re.findall(r"\d+", v)]
        return tuple(n) if len(n) == 4 else (0, 0, 0, 0)

    def outer(self, w):
        """The window with its frame: (left, top, right, bottom), exclusive."""
        x, y, cw, ch = self.geometry(w)
        l, r, t, b = self.extents(w)
        return (x - l, y - t, x + cw + r, y + ch + b)

    def screen(self):
        n = [int(v) for v in self.out("xdotool", "getdisplaygeometry").split()]
        return tuple(n) if len(n) == 2 else (0, 0)

    def root_size(self):
        """The root window's size as it is now (RandR resizes it)."""
        _, _, w, h = self.geometry("root")
        return w, h

    def monitors(self):
        """The RandR monitors, as (x, y, width, height, primary), in xrandr's order."""
        out = []
        for m in re.finditer(r"^\s*\d+: \+(\*?)\S+ (\d+)/\d+x(\d+)/\d+\+(-?\d+)\+(-?\d+)",
                             self.out("xrandr", "--listmonitors"), re.M):
            out.append((int(m.group(4)), int(m.group(5)), int(m.group(2)), int(m.group(3)), m.group(1) == "*"))
        return out

    def wm_state(self, w):
        m = re.search(r"window state: (\w+)", self.out("xprop", "-id", str(w), "WM_STATE"))
        return m.group(1) if m else "Withdrawn"

    def click(self, w, x, y, button=1):
        self.out("xdotool", "mousemove", "--window", str(w), str(x), str(y), "click", str(button))

    def close(self, w):
        self.out("wmctrl", "-i", "-c", hex(w))

    def visible(self, w):
        return w in self.search(".")

    def tray_icon(self):
        """The lckb window docked in trayer's panel, if any."""
        lines = self.out("xwininfo", "-root", "-tree").splitlines()
        for i, line in enumerate(lines):
            if '("panel" "trayer")' not in line:
                continue
            depth = len(line) - len(line.lstrip())
            for sub in lines[i + 1:]:
                d = len(sub) - len(sub.lstrip())
                if sub.strip() and d <= depth and re.match(r"\s*0x", sub):
                    break
                if re.search(r'\("lckb" "[^"]*"\)', sub):  # WM_CLASS: instance lckb
                    return int(sub.split()[0], 16)
        return None


class WindowSystemMixin:
    """Readings of the row's X display (self.x)."""

    def work_area(self):
        """(x, y, width, height) of the work area the window manager
        announces for the current desktop (_NET_WORKAREA)."""
        v = self.x.out("xprop", "-root", "_NET_WORKAREA") if self.x else ""
        v = v.split("=", 1)[1] if "=" in v else ""
        n = [int(a) for a in re.findall(r"\d+", v)]
        return tuple(n[:4]) if len(n) >= 4 else None

    def map_state(self, w):
        m = re.search(r"Map State: (\w+)", self.x.out("xwininfo", "-id", str(w)))
        return m.group(1) if m else None

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
