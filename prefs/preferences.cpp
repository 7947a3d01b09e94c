#include "preferences.h"

#include "boxstate.h"
#include "channeldialog.h"
#include "session.h"
#include "settings.h"

#include <QCheckBox>

#include <utility>

namespace lckb {

namespace {
const QString kConfig = QStringLiteral("config");
const QString kMima = QStringLiteral("mima");

// The channel keys the start-up load looks at; "tcsd" is left to the
// dialog's own load.
constexpr const char *kLoadedChannelKeys[] = {
    "lcgs", "lczb", "lczc", "btsd", "jgjy", "lncz", "smzb",
};
} // namespace

Preferences::Preferences(Session &session, MainBoxes boxes, ChannelDialog &channels,
                         std::function<void()> showSavePasswordForm, QObject *parent)
    : QObject(parent),
      m_session(session),
      m_boxes(boxes),
      m_channels(channels),
      m_showSavePasswordForm(std::move(showSavePasswordForm))
{
    // toggled, not clicked: a state set by the program is handled like a
    // click, and setting the state a box already has raises nothing.
    connect(m_boxes.Check1, &QCheckBox::toggled, this, &Preferences::onCheck1);
    const std::pair<QCheckBox *, QString> plain[] = {
        {m_boxes.Check2, QStringLiteral("Check2")},
        {m_boxes.Check3, QStringLiteral("Check3")},
        {m_boxes.Check4, QStringLiteral("Check4")},
        {m_boxes.shengyin, QStringLiteral("shengyin")},
    };
    for (const auto &[box, key] : plain) {
        connect(box, &QCheckBox::toggled, this, [this, key = key](bool on) { writeState(kConfig, key, on); });
    }
    connect(m_boxes.mima, &QCheckBox::toggled, this, &Preferences::onMima);
}

void Preferences::config()
{
    blnTemp = false;
    const QString ini = m_session.iniPath();
    // Only a regular file counts (a symlink to one is fine); a folder, a
    // dangling link, a device or an oversized file named config.ini leaves
    // every design state.
    if (!iniFileUsable(ini))
        return;

    m_loading = true;
    loadBox(m_boxes.Check1, kConfig, QStringLiteral("Check1"));
    loadBox(m_boxes.Check2, kConfig, QStringLiteral("Check2"));
    loadBox(m_boxes.Check3, kConfig, QStringLiteral("Check3"));
    loadBox(m_boxes.Check4, kConfig, QStringLiteral("Check4"));
    for (const char *key : kLoadedChannelKeys) {
        // A stored channel value gets the dialog created, hidden; its own
        // load applies all eight, so setting the box again would change nothing.
        if (!ReadIni(kConfig, QLatin1String(key), ini).isEmpty()) {
            m_channels.touch();
            break;
        }
    }
    loadBox(m_boxes.shengyin, kConfig, QStringLiteral("shengyin"));
    loadBox(m_boxes.mima, kMima, QStringLiteral("mima"));
    m_loading = false;
}

bool Preferences::boxOn(QCheckBox *b) const
{
    return b && b->checkState() == Qt::Checked;
}

void Preferences::loadBox(QCheckBox *b, const QString &section, const QString &key)
{
    if (const auto state = storedBoxState(ReadIni(section, key, m_session.iniPath())))
        b->setChecked(*state);
}

void Preferences::writeState(const QString &section, const QString &key, bool on)
{
    // A failed write is silent; the box keeps its new state for this run.
    WriteIni(section, key, boxStateText(on), m_session.iniPath());
}

void Preferences::onCheck1(bool on)
{
    writeState(kConfig, QStringLiteral("Check1"), on);
    // Loading can only clear Check1 (it starts checked); the guard keeps the
    // dialog closed at start even if the box was created unchecked.
    if (on && !m_loading)
        m_channels.show();
}

void Preferences::onMima(bool on)
{
    // Quiet while the preferences load: a stored "1" just checks the box.
    if (blnTemp != true)
        return;
    if (on) {
        // The form stores a new login only when its save button is pressed.
        if (m_showSavePasswordForm)
            m_showSavePasswordForm();
    } else {
        const QString ini = m_session.iniPath();
        WriteIni(kMima, QStringLiteral("user"), QString(), ini);
        WriteIni(kMima, QStringLiteral("pass"), QString(), ini);
        m_session.strUser.clear();
        m_session.strPass.clear();
    }
    writeState(kMima, QStringLiteral("mima"), on);
}

} // namespace lckb
