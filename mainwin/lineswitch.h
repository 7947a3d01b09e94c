#pragma once
// The server-line switch of the main window: the label "线路选择：" and one
// button per line. Choosing another line asks first; on OK the choice is
// stored and lineChanged tells the window to reload the service page.
#include "app/serverlines.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>

#include <array>

class QRadioButton;
class QWidget;

namespace lckb {

class UserChoices;

class LineSwitch : public QObject
{
    Q_OBJECT
public:
    static const QString kQuestion;

    // Builds the label and the buttons on `window`; the buttons are named
    // lineButton0 to lineButton4, one per line and a last one that has no
    // line and stays hidden.
    LineSwitch(UserChoices &choices, QWidget *window);

    // Shows the line in use, without asking anything.
    void showLineInUse();
    // The keyboard on the button of the line in use, where a user who tabs
    // through the window starts.
    void focusLineInUse();
    // The question is open.
    bool asking() const { return m_question; }

signals:
    // The user chose another line and confirmed it; it is stored already.
    void lineChanged(int index);
    // The question was answered, whichever way.
    void answered();

private:
    void onToggled(int index, bool checked);

    UserChoices &m_choices;
    QWidget *m_window;
    QPointer<QMessageBox> m_question;
    std::array<QRadioButton *, kLineCount + 1> m_buttons{};
    bool m_quiet = false; // the program selects a button itself
};

} // namespace lckb
