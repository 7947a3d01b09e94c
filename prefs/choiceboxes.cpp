#include "prefs/choiceboxes.h"

#include "app/choices.h"
#include "prefs/channeldialog.h"
#include "prefs/screenunits.h"

#include <QCheckBox>
#include <QSignalBlocker>

#include <utility>

namespace lckb {

ChoiceBoxes::ChoiceBoxes(UserChoices &choices, QWidget *window, std::function<void()> showSaveLoginForm)
    : QObject(window)
    , m_choices(choices)
    , m_showSaveLoginForm(std::move(showSaveLoginForm))
{
    auto box = [window](const char *name, const char *caption, int l, int t, int w, int h) {
        auto *c = new QCheckBox(QString::fromUtf8(caption), window);
        c->setObjectName(QLatin1String(name));
        c->setAccessibleName(c->text());
        placeOnRow(c, l, t, w, h);
        return c;
    };
    m_reminder = box("reminderBox", "右下角提示详细设置", 6480, 120, 2775, 180);
    m_reminder->setToolTip(QStringLiteral("开启/关闭提醒，点击弹出详细设置"));
    m_series = box("seriesBox", "澜策宝系列", 8280, 120, 1275, 180);
    m_vipBriefing = box("vipBriefingBox", "沛鑫VIP内参", 9000, 2160, 1815, 255);
    m_goldList = box("goldListBox", "金名单", 11280, 2160, 1215, 255);
    // Kept only because config.ini names them (Check2 to Check4): stored and
    // loaded, never shown, acted on by nobody.
    for (QCheckBox *hidden : {m_series, m_vipBriefing, m_goldList})
        hidden->hide();
    m_sound = box("soundBox", "声音总开/关", 9840, 120, 1335, 180);
    m_remember = box("rememberLoginBox", "记住登录密码", 12960, 60, 1455, 315);
    showChoices();

    // toggled, not clicked: a state changed by any means is a change made.
    connect(m_reminder, &QCheckBox::toggled, this, &ChoiceBoxes::onReminderToggled);
    connect(m_sound, &QCheckBox::toggled, this, [this](bool on) { m_choices.setSoundOn(on); });
    const std::pair<QCheckBox *, Offer> offers[] = {
        {m_series, Offer::Series}, {m_vipBriefing, Offer::VipBriefing}, {m_goldList, Offer::GoldList}};
    for (const auto &[b, offer] : offers)
        connect(b, &QCheckBox::toggled, this, [this, offer = offer](bool on) { m_choices.setOfferOn(offer, on); });
    connect(m_remember, &QCheckBox::toggled, this, &ChoiceBoxes::onRememberToggled);
}

ChoiceBoxes::~ChoiceBoxes()
{
    delete m_dialog.data(); // a window of its own: it goes with the boxes that opened it
}

void ChoiceBoxes::showChoices()
{
    const std::pair<QCheckBox *, bool> states[] = {
        {m_reminder, m_choices.reminderOn()},
        {m_series, m_choices.offerOn(Offer::Series)},
        {m_vipBriefing, m_choices.offerOn(Offer::VipBriefing)},
        {m_goldList, m_choices.offerOn(Offer::GoldList)},
        {m_sound, m_choices.soundOn()},
        {m_remember, m_choices.rememberLogin()},
    };
    for (const auto &[b, on] : states) {
        const QSignalBlocker quiet(b);
        b->setChecked(on);
    }
}

ChannelDialog *ChoiceBoxes::channelDialog() const
{
    return m_dialog;
}

QWidget *ChoiceBoxes::rememberLoginBox() const
{
    return m_remember;
}

void ChoiceBoxes::showChannelDialog()
{
    if (!m_dialog) {
        auto *d = new ChannelDialog(m_choices);
        m_dialog = d;
        connect(d, &ChannelDialog::closed, this, [this, d] {
            if (m_dialog == d)
                m_dialog.clear();
            emit channelDialogClosed();
        });
    }
    m_dialog->show();
    m_dialog->raise();
    m_dialog->activateWindow();
}

void ChoiceBoxes::onReminderToggled(bool on)
{
    m_choices.setReminderOn(on);
    if (on)
        showChannelDialog();
}

void ChoiceBoxes::onRememberToggled(bool on)
{
    // Quiet until the start-up load is over.
    if (!m_choices.choicesLoaded())
        return;
    // Checking opens the form; it stores a new login only when the user saves.
    if (on && m_showSaveLoginForm)
        m_showSaveLoginForm();
    m_choices.setRememberLogin(on);
    emit rememberLoginChanged(on);
}

} // namespace lckb
