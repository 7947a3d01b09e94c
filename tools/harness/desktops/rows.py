"""The rows of the matrix and what they play: the titles and texts lckb
shows, the bulletins of the simulator's scenario, and one table of rows
(display or compositor, window manager, tray, notification server, and the
checks that apply to each).
"""


MAIN_TITLE = r"^澜策快报 LC6\.1\.1"
POPUP_TITLE = "^有新信息，请注意查看！"
DIALOG_TITLE = "^右下角提醒，详细设置"
SECONDARY_TITLE = "^首席澜策"
TOOLTIP = "澜策快报+首席澜策宝"
SNI_TITLE = "澜策快报"
MENU = ["显示程序", "最近提醒", "开机自动启动", "关闭退出"]
NOTIFY_BODY = "有新信息，请点击查看！"

# What a failing check means for users.
AWAITS = {
    "platform": "in a Wayland session with XWayland lckb must run on XWayland (xcb), unless the user chose",
    "notify": "without XWayland each bulletin must become a desktop notification",
    "notify-limit": "at most three notifications, the oldest closed with CloseNotification",
    "sni-title": "the StatusNotifier item must be titled 澜策快报",
    "flags": "the pop-up and the channel dialog: close button only, no task-bar entry",
    "place": "the pop-up's frame must land 50/500 twips from the bottom-right corner of the primary monitor, or "
             "as near as the work area allows, off every panel",
    "panel": "the tray icon must show in the desktop's own panel",
    "inactive": "a pop-up must be seen while the user works in another program",
    "focus": "a pop-up never takes the keyboard, on arrival or when the main window goes",
    "submenu": "an open 最近提醒 stays open when a bulletin comes: entries change in place, no layout update",
    "restore": "a window minimised and brought back from the tray comes back as it left: 关闭退出 and the "
               "page where they were",
    "a11y": "a screen reader must read the main window as a frame and each pop-up as an alert named by its "
            "title, its text inside it, nothing hidden, the keyboard on the line in use",
}

# The baseline reply; the pop-up of a changed line shows the item that arrived.
BASELINE = [
    "101,央行开展逆回购操作,澜策政策,/nc/show.asp?id=101",
    "102,青岚科技中标重大项目,澜策公司,/nc/show.asp?id=102",
    "103,北向资金净买入12亿元,澜策资本,/nc/show.asp?id=103",
    "104,盘中快讯：远帆航运快速拉升,澜内传真,/nc/show.asp?id=104",
    "105,私募仓位升至7成,私募周报,/nc/show.asp?id=105",
    "106,储能行业专家会议纪要,机构纪要,/nc/show.asp?id=106",
    "107,速递：北辰材料签订战略合作协议,标题速递,/nc/show.asp?id=107",
    "108,低空经济概念持续走强,题材速递,/nc/show.asp?id=108",
]
CHANGES = [
    "channel 0 201,央行下调存款准备金率,澜策政策,/nc/show.asp?id=201",
    "channel 1 202,青岚科技发布年度预告,澜策公司,/nc/show.asp?id=202",
    "channel 2 203,两融余额连续三日回升,澜策资本,/nc/show.asp?id=203",
    "channel 3 209,澜江电力涨停,澜内传真,/nc/show.asp?id=209",
]
CLICKED_ID = 209  # the item the last change announces
RECENT_LIMIT = 20  # entries of 最近提醒
POLL_S = 1
QUIET_POLLS = 6   # polls of the baseline before the first change


def arrived(change):
    """The fields of the line a change brings ("channel K line")."""
    return change.split(" ", 2)[2].split(",")


# The real desktops: ten bulletins two polls apart while another program is
# active, a pause in which the script opens the tray's 最近提醒 submenu, then
# the change that announces CLICKED_ID, into the open submenu.
SERIES = [
    (0, "央行公开市场净投放千亿元"), (1, "青岚科技拟回购股份"), (2, "外资连续五日加仓"),
    (4, "私募新发产品数量回升"), (6, "速递：远帆航运获大额订单"), (7, "算力概念午后异动"),
    (0, "监管发布新规征求意见稿"), (1, "青岚科技高管增持"), (2, "两市成交额突破万亿"),
    (4, "量化私募规模创新高"),
]
SERIES_QUIET = 7   # polls of the baseline: lckb is up and another program active before the first
RESTORE_POLLS = 12  # more polls of the baseline where the main window is minimised and restored first
SERIES_APART = 2   # polls between two bulletins
SERIES_PAUSE = 8   # polls for opening the submenu before the last bulletin
JUDGED_S = 3.0     # seconds a pop-up is watched for being mapped (the fourth after it closes it)


def scenario(burst, series=False, quiet_more=0):
    """One change on channel 3, or (burst) four changes one poll apart, or
    (series) the real desktops' eleven, after quiet_more more polls of the
    baseline. Returns the text and the titles the pop-ups show, in order (a
    pop-up shows the item that arrived)."""
    shown = []
    if series:
        lines = ["reply"] + BASELINE + ["end", "times %d" % (SERIES_QUIET + quiet_more)]
        for n, (k, title) in enumerate(SERIES):
            bid = 301 + n
            lines += ["channel %d %d,%s,%s,/nc/show.asp?id=%d" % (k, bid, title, BASELINE[k].split(",")[2], bid),
                      "times %d" % (SERIES_PAUSE if n == len(SERIES) - 1 else SERIES_APART)]
            shown.append(title)
        changes = CHANGES[-1:]
    else:
        lines = ["reply"] + BASELINE + ["end", "times %d" % (QUIET_POLLS + quiet_more)]
        changes = CHANGES if burst else CHANGES[-1:]
    for c in changes:
        lines.append(c)
        shown.append(arrived(c)[1])
    return "\n".join(lines) + "\n", shown


def twips(t, dpi=96.0):
    return int(round(t * dpi / 1440.0))


class Row:
    """One row of the matrix. display: the X server or compositor ("xvfb",
    "xorg" (the dummy driver, for monitors), "mutter", "mutter-no-x11", "gnome", "gnome-no-x11", "kwin",
    "kwin-no-x11"); wm: the window manager; tray: "xembed" (trayer), "sni"
    (the stand-in), "shell" (the desktop's own) or None; notify: True for the
    stand-in notification server, False for none (the desktop's own on a
    real desktop), None for none even there; platform: the Qt plugin lckb
    must choose. The checks that apply: props the window flags, burst the
    limit of three notifications, scale the size against the 96 DPI row,
    shell the real desktops' series, a11y what a screen reader reads.
    monitors: the RandR outputs of an "xorg" row, (width, height, x, y),
    the primary one first; its trayer then is a bottom panel on it."""

    def __init__(self, name, label, display, wm=None, tray=None, notify=False, scale=1,
                 env=None, platform="xcb", burst=False, props=False, late_tray=False, shell=None, panel=0,
                 a11y=False, monitors=()):
        self.name, self.label, self.display, self.wm = name, label, display, wm
        self.tray, self.notify, self.scale, self.env = tray, notify, scale, env or {}
        self.platform, self.burst, self.props = platform, burst, props
        self.a11y = a11y
        self.monitors = monitors
        self.late_tray = late_tray  # the tray host comes up a second after lckb, as at a session's start
        # A real desktop ("gnome", "xfce", "kde"): its own tray and notification
        # server, and the series of bulletins while another program is active.
        self.shell, self.panel = shell, panel

    @property
    def x11(self):
        return self.display in ("xvfb", "xorg", "mutter", "gnome", "kwin")

    @property
    def series(self):
        return self.shell is not None


ROWS = [
    Row("x11-xembed", "X11, openbox, XEmbed tray (trayer), a screen reader's bus", "xvfb", "openbox", "xembed",
        props=True, a11y=True),
    Row("x11-sni", "X11, openbox, StatusNotifier tray", "xvfb", "openbox", "sni"),
    Row("x11-notray", "X11, openbox, no tray", "xvfb", "openbox", None),
    Row("two-monitors", "X11 on Xorg (dummy driver), two monitors: 1600x900 primary, 1280x1024 right of it; "
        "openbox, trayer as a 48 px panel at the bottom right of the primary", "xorg", "openbox", "xembed",
        monitors=((1600, 900, 0, 0), (1280, 1024, 1600, 0))),
    Row("wayland", "Wayland: mutter with XWayland, StatusNotifier tray started after lckb", "mutter", "mutter",
        "sni", notify=True, late_tray=True),
    Row("wayland-xcb", "Wayland: mutter with XWayland, QT_QPA_PLATFORM=xcb chosen by the user",
        "mutter", "mutter", "sni", notify=True, env={"QT_QPA_PLATFORM": "xcb"}, props=True),
    Row("wayland-no-x11", "Wayland: mutter --no-x11, StatusNotifier tray, notification server",
        "mutter-no-x11", "mutter", "sni", notify=True, platform="wayland", burst=True),
    Row("hidpi", "High DPI: X11 (Xft.dpi 192), openbox, XEmbed tray", "xvfb", "openbox", "xembed",
        scale=2),
    # The real shells of Debian 12 (scripts/deps --desktops installs them).
    Row("gnome", "GNOME Shell 43 headless with XWayland, AppIndicator extension, its notifications",
        "gnome", "gnome-shell", "shell", shell="gnome", props=True),
    Row("gnome-no-x11", "GNOME Shell 43 headless without XWayland: lckb on Wayland, GNOME's notifications",
        "gnome-no-x11", "gnome-shell", "shell", shell="gnome", platform="wayland"),
    Row("gnome-no-notify", "GNOME Shell 43 without XWayland and without a notification server: the pop-up on "
        "Wayland", "gnome-no-x11", "gnome-shell", "shell", shell="gnome", platform="wayland", notify=None),
    Row("xfce-30", "Xfce 4.18 on Xvfb: xfwm4, bottom panel of 30 px with its systray, xfce4-notifyd",
        "xvfb", "xfwm4", "shell", shell="xfce", panel=30, props=True),
    Row("xfce-48", "Xfce 4.18 on Xvfb: xfwm4, bottom panel of 48 px with its systray, xfce4-notifyd, a screen "
        "reader's bus",
        "xvfb", "xfwm4", "shell", shell="xfce", panel=48, a11y=True),
    Row("kde", "KDE Plasma 5.27 on Xvfb: kwin_x11, kded5, plasmashell", "xvfb", "kwin", "shell", shell="kde",
        props=True),
    Row("kde-wayland", "KDE Plasma 5.27: kwin_wayland --virtual with XWayland, kded5, plasmashell",
        "kwin", "kwin", "shell", shell="kde"),
    Row("kde-wayland-no-x11", "KDE Plasma 5.27: kwin_wayland --virtual without XWayland: lckb on Wayland, "
        "Plasma's notifications", "kwin-no-x11", "kwin", "shell", shell="kde", platform="wayland"),
]
