#include "prefs/channeldialog.h"

#include "app/choices.h"
#include "app/keys.h"
#include "desktop/windowhints.h"
#include "prefs/screenunits.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include <array>

namespace lckb {

const QString ChannelDialog::kCaption = QStringLiteral("右下角提醒，详细设置");

ChannelDialog::ChannelDialog(UserChoices &choices, QWidget *parent)
    : QDialog(parent)
    , m_choices(choices)
{
    // Out of the task bar; stay-on-top keeps it above the main window and the
    // pop-ups while the user picks channels.
    markAsSideWindow(this);
    setAttribute(Qt::WA_DeleteOnClose);
    // The program lives on in the tray; closing this never ends it.
    setAttribute(Qt::WA_QuitOnClose, false);
    setObjectName(QStringLiteral("channelDialog"));
    setWindowTitle(kCaption);

    // Created first so it also leads the focus chain when the chain wraps.
    auto *closeButton = new QPushButton(QStringLiteral("关闭"), this);
    closeButton->setObjectName(QStringLiteral("closeButton"));
    closeButton->setAccessibleName(closeButton->text());
    placeTwips(closeButton, 3360, 1440, 1695, 375);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);

    placeTwips(new QLabel(QStringLiteral("金岳系列："), this), 0, 0, 1455, 255);
    placeTwips(new QLabel(QStringLiteral("澜策题材系列："), this), 0, 720, 1695, 255);
    placeTwips(new QLabel(QStringLiteral("注:勾选上的就提醒，反之不提醒。"), this), 240, 1560, 2775, 255);

    // Channels 0-3 on the first row, 4-7 on the second, in reply order.
    if (!m_choices.channelsLoaded())
        m_choices.loadChannels();
    std::array<QCheckBox *, kChannelCount> boxes{};
    for (const Channel &c : channelTable()) {
        auto *b = new QCheckBox(QString::fromUtf8(c.caption), this);
        b->setObjectName(QLatin1String(c.key));
        b->setAccessibleName(b->text());
        placeTwips(b, 360 + 1200 * (c.index % 4), c.index < 4 ? 240 : 960, 1215, 375);
        b->setChecked(m_choices.channelOn(c.index));
        connect(b, &QCheckBox::toggled, this, [this, k = c.index](bool on) { m_choices.setChannelOn(k, on); });
        boxes[size_t(c.index)] = b;
    }
    // The tab order the dialog was designed with.
    QWidget *const tabOrder[] = {closeButton, boxes[0], boxes[3], boxes[2], boxes[1],
                                 boxes[6], boxes[5], boxes[4], boxes[7]};
    for (size_t i = 1; i < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    closeButton->setFocus();

    setFixedSize(twipsOn(this, 5175), twipsOn(this, 1935));
    move(screen()->geometry().topLeft() + QPoint(twipsOn(this, 10155), twipsOn(this, 5940)));
}

void ChannelDialog::reject()
{
    close();
}

void ChannelDialog::closeEvent(QCloseEvent *event)
{
    // Not QDialog::closeEvent: that would route through reject() again.
    // Nothing to save here, every change was written when it was made.
    event->accept();
    m_choices.forgetChannels();
    emit closed();
}

} // namespace lckb
