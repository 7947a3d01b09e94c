"""Runs lckb on today's desktops and checks it end to end.

  scripts/desktops [--rows NAME,...] [--list] [--no-build] [--keep] [--lckb FILE] [-v]

Every row starts its own display or compositor (Xvfb with openbox, or mutter
headless with or without XWayland), a private session bus, the desktop
services of that desktop (XEmbed tray, StatusNotifier tray, notification
server: tools/desktop-standins), the bulletin-service simulator on free
loopback ports, and lckb from a scratch program folder with its own
XDG_RUNTIME_DIR. Then it checks: start; tray icon; one bulletin announced
(pop-up, or desktop notification); the click that opens it in frame 3 (the
simulator's request log must show /nc/show.asp?id=...); hiding to the tray or,
without one, minimising; quit.

The rows of the real desktops (GNOME Shell, Xfce, KDE Plasma, as Debian 12
packages them; gnome.py, xfce.py and kde.py start them) use the desktop's
own tray, panel and notification server, and a series of eleven bulletins: ten while
another program (xmessage) has the focus, where every pop-up must be mapped
and viewable and none may take the keyboard; the frame inside the work area;
the tray's 最近提醒 opened in the shell's panel before the eleventh, which
must leave it open; the focus after the close box never on a pop-up.

A table of rows, checks and times follows, and the figures of the real
desktops; the exit status is 1 when a row fails. Each row stops everything it
started, by PID, also when it fails. --keep leaves the rows' logs (and a
screenshot of each pop-up under Xvfb, of the open tray menu on the real
desktops) in the scratch folder named at the end; --lckb FILE runs another
build of the client.

The modules: rows (the table of rows and the scenario), session (processes,
buses, Xvfb, the simulator, lckb), standins, shells, gnome, xfce, kde (the
desktop families), x11 (what the window system shows), bus (what the
session bus shows), checks and series (the checks), row (one row run),
report (the table), main (the command line).
"""
