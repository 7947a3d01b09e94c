#pragma once
// The program's message boxes, all made here.
#include <QMessageBox>
#include <functional>

namespace lckb {

inline const QString kReminderTitle = QStringLiteral("提醒"); // title of the program's questions and refusals
// Title of the messages that bring no title of their own. Written out on each
// box: an application display name would be appended to every window title.
inline const QString kAppTitle = QStringLiteral("澜策快报 LC6.1");

// Opens a box, application modal, without waiting for it: no event loop of
// its own runs. `done` gets the button that closed it (NoButton when none
// did). The box deletes itself when closed.
QMessageBox *openMessage(QMessageBox::Icon icon, const QString &title, const QString &text,
                         QMessageBox::StandardButtons buttons, QWidget *parent = nullptr,
                         std::function<void(QMessageBox::StandardButton)> done = {});

} // namespace lckb
