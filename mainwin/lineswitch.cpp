#include "mainwin/lineswitch.h"

#include "app/choices.h"
#include "prefs/messagebox.h"
#include "prefs/screenunits.h"

#include <QButtonGroup>
#include <QLabel>
#include <QRadioButton>

namespace lckb {

const QString LineSwitch::kQuestion = QStringLiteral("确定要更换线路并重新登录吗？");

LineSwitch::LineSwitch(UserChoices &choices, QWidget *window)
    : QObject(window)
    , m_choices(choices)
    , m_window(window)
{
    placeOnRow(new QLabel(QStringLiteral("线路选择："), window), 120, 120, 900, 180);

    auto *group = new QButtonGroup(this);
    static const char *const captions[kLineCount + 1] = {"自动", "电信线路", "联通线路", "其它线路", "联通2"};
    static const int places[kLineCount + 1][4] = {{960, 60, 795, 315}, {1800, 60, 1335, 315}, {3000, 60, 1335, 315},
                                     {4200, 120, 1095, 180}, {3960, 1320, 855, 315}};
    for (int i = 0; i <= kLineCount; ++i) {
        auto *b = new QRadioButton(QString::fromUtf8(captions[i]), window);
        b->setObjectName(QStringLiteral("lineButton%1").arg(i));
        b->setAccessibleName(b->text());
        placeOnRow(b, places[i][0], places[i][1], places[i][2], places[i][3]);
        group->addButton(b, i);
        m_buttons[size_t(i)] = b;
    }
    // The last button has no server line behind it.
    m_buttons[kLineCount]->hide();
    m_buttons[kLineCount]->setEnabled(false);
    connect(group, &QButtonGroup::idToggled, this, &LineSwitch::onToggled);
}

void LineSwitch::showLineInUse()
{
    const int index = m_choices.lineIndex();
    m_quiet = true;
    if (index >= 0 && index < kLineCount)
        m_buttons[size_t(index)]->setChecked(true);
    m_quiet = false;
}

void LineSwitch::focusLineInUse()
{
    const int index = m_choices.lineIndex();
    if (index >= 0 && index < kLineCount)
        m_buttons[size_t(index)]->setFocus(Qt::OtherFocusReason);
}

void LineSwitch::onToggled(int index, bool checked)
{
    if (!checked || m_quiet || index == m_choices.lineIndex())
        return;
    m_question = openMessage(QMessageBox::Question, kReminderTitle, kQuestion, QMessageBox::Ok | QMessageBox::Cancel,
                             m_window, [this, index](QMessageBox::StandardButton answer) {
                                 if (answer == QMessageBox::Ok) {
                                     m_choices.setLineIndex(index);
                                     emit lineChanged(index);
                                 } else {
                                     // Keep showing the line that is really in use.
                                     showLineInUse();
                                 }
                                 emit answered();
                             });
}

} // namespace lckb
