#pragma once
// What screen readers are told of the program's windows. Qt exposes a
// window that is a plain QWidget as a "filler", which readers do not
// announce as a window, and lists every top-level window of the process,
// hidden ones too (the browser engine's offscreen window, the main window
// while it sits in the tray).
#include <QAccessible>
#include <QMetaObject>

class QWidget;

namespace lckb {

// Windows of the class `cls` (and of classes derived from it) are exposed
// with `role`: the main window as a frame (Window), a form as a Dialog, a
// pop-up as an AlertMessage, which readers speak as it appears. Called in
// the constructor of `window`, one of them: a reader's view of it made
// before, with Qt's role, is dropped.
void exposeWindowsAs(const QMetaObject &cls, QAccessible::Role role, QWidget *window);

// Installs the program's accessibility, once, after the application object
// (exposeWindowsAs does it too): the roles given, and an application whose
// windows are the visible ones.
void installAccessibility();

} // namespace lckb
