#pragma once
// The six check boxes of the main window that show the user's switches: the
// reminder switch (which opens the channel dialog when turned on), the sound
// switch, the remember-login switch and the three hidden offers. They show
// the user's choices and change them; the choices write the file.
#include <QObject>
#include <QPointer>

#include <functional>

class QCheckBox;
class QWidget;

namespace lckb {

class ChannelDialog;
class UserChoices;

class ChoiceBoxes : public QObject
{
    Q_OBJECT
public:
    // Builds the boxes on `window` at their places. `showSaveLoginForm`
    // shows the save-password form, not modal.
    ChoiceBoxes(UserChoices &choices, QWidget *window, std::function<void()> showSaveLoginForm);
    ~ChoiceBoxes() override;

    // The boxes take the states of the choices; nothing is written and no
    // window opens.
    void showChoices();

    // The one channel dialog: created (hidden) when there is none, shown, and
    // brought to the front.
    void showChannelDialog();
    // The channel dialog while it exists.
    ChannelDialog *channelDialog() const;

    // The box the main window's resize rule keeps at its right edge.
    QWidget *rememberLoginBox() const;

signals:
    // The user turned remembering the login on or off; it is stored already.
    void rememberLoginChanged(bool on);
    // The channel dialog closed.
    void channelDialogClosed();

private:
    void onReminderToggled(bool on);
    void onRememberToggled(bool on);

    UserChoices &m_choices;
    std::function<void()> m_showSaveLoginForm;
    QCheckBox *m_reminder = nullptr;
    QCheckBox *m_series = nullptr;
    QCheckBox *m_vipBriefing = nullptr;
    QCheckBox *m_goldList = nullptr;
    QCheckBox *m_sound = nullptr;
    QCheckBox *m_remember = nullptr;
    // Cleared as soon as the dialog accepts a close, before its deferred
    // deletion: a closed dialog is gone for every later use.
    QPointer<ChannelDialog> m_dialog;
};

} // namespace lckb
