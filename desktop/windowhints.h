#pragma once
// What the program tells an X11 window manager that Qt's window flags do not
// say, and what it asks about the desktop. Elsewhere (Wayland) these do
// nothing: the compositor decides.
#include <QPoint>
#include <QRect>
#include <QSize>

#include <functional>

class QScreen;
class QWidget;

namespace lckb {

// A small window that belongs to the main window (the pop-up, the channel
// dialog): a tool window that stays on top, no entry of its own in the task bar or the pager, a fixed border,
// and of the title bar's buttons only the close button. Set again on every
// show: a window manager forgets the states of a window it unmapped.
void markAsSideWindow(QWidget *w);

// A side window that announces something while the user works in another
// program (the pop-up): it never takes the keyboard, on arrival or later,
// and it is transient for no other window, so that no window manager hides
// it with an inactive program's tool windows. Called instead of
// markAsSideWindow, before the window is first shown.
void markAsAnnouncement(QWidget *w);

// Where a window goes that wants its frame's top-left corner at `wanted`:
// there, when the frame (`outer`) lies wholly inside the work area (the
// screen without the panels); else moved up and left, just as far as it
// takes to lie inside.
QPoint keepInWorkArea(const QPoint &wanted, const QSize &outer, const QRect &workArea);

// The work area of one monitor: the window manager's per-monitor figure
// where it publishes one, else the monitor without the panels' struts,
// within Qt's available geometry (which on more than one monitor is the
// whole monitor); Qt's figure where the X display tells nothing.
QRect workAreaOf(const QScreen *screen);

// Keeps the class part of every window's WM_CLASS at "lckb", the name of the
// desktop entry. Qt takes it from the application name, which is the
// program's Chinese name for the tray and notifications: no valid class
// (desktop entries match classes in ASCII). Installed once, on the
// application.
void keepWindowClass();

// Calls `changed` whenever the window manager changes the frame it drew
// around the top-level window `w` (its _NET_FRAME_EXTENTS), after Qt has
// taken the change in; Qt sends no event of its own for it. X11 only.
void watchFrameExtents(QWidget *w, std::function<void()> changed);

// Whether an XEmbed tray (the owner of _NET_SYSTEM_TRAY_S0) is on the X
// display the program runs on.
bool xembedTrayPresent();

} // namespace lckb
