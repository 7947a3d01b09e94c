#include "dialog1.h"

#include "boxstate.h"
#include "screenunits.h"
#include "settings.h"
#include "twips.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include <iterator>

namespace lckb {

namespace {
// Check boxes all share one size, in twips.
constexpr int kBoxWidth = 1215;
constexpr int kBoxHeight = 375;
} // namespace

Dialog1::Dialog1(const QString &iniPath, QWidget *parent)
    : QDialog(parent), m_iniPath(iniPath)
{
    // A tool window stays out of the task bar; stay-on-top keeps it above
    // the main window and the pop-ups while the user picks channels.
    setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint
                   | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_DeleteOnClose);
    // The program lives on in the tray; closing this never ends it.
    setAttribute(Qt::WA_QuitOnClose, false);
    setObjectName(QStringLiteral("Dialog1"));
    setWindowTitle(QStringLiteral("右下角提醒，详细设置"));

    const qreal dpi = screenDpi(this);
    const auto px = [dpi](int twips) { return twipsToPx(twips, dpi); };
    const auto place = [&px](QWidget *w, int left, int top, int width, int height) {
        w->setGeometry(px(left), px(top), px(width), px(height));
    };

    // Created first so it also leads the focus chain when the chain wraps.
    OKButton = new QPushButton(QStringLiteral("关闭"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setAccessibleName(OKButton->text());
    place(OKButton, 3360, 1440, 1695, 375);
    connect(OKButton, &QPushButton::clicked, this, &QWidget::close);

    Label2 = new QLabel(QStringLiteral("金岳系列："), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    place(Label2, 0, 0, 1455, 255);
    Label1 = new QLabel(QStringLiteral("澜策题材系列："), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    place(Label1, 0, 720, 1695, 255);
    Label3 = new QLabel(QStringLiteral("注:勾选上的就提醒，反之不提醒。"), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    place(Label3, 240, 1560, 2775, 255);

    lczc = addBox("lczc", QStringLiteral("澜策政策"), 360, 240, true);
    lcgs = addBox("lcgs", QStringLiteral("澜策公司"), 1560, 240, true);
    lczb = addBox("lczb", QStringLiteral("澜策资本"), 2760, 240, true);
    lncz = addBox("lncz", QStringLiteral("澜内传真"), 3960, 240, true);
    smzb = addBox("smzb", QStringLiteral("私募周报"), 360, 960, true);
    jgjy = addBox("jgjy", QStringLiteral("机构纪要"), 1560, 960, false);
    btsd = addBox("btsd", QStringLiteral("标题速递"), 2760, 960, true);
    tcsd = addBox("tcsd", QStringLiteral("题材速递"), 3960, 960, true);

    QWidget *const tabOrder[] = {OKButton, lczc, lncz, lczb, lcgs, btsd, jgjy, smzb, tcsd};
    for (size_t i = 1; i < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    OKButton->setFocus();

    setFixedSize(px(5175), px(1935));
    move(screen()->geometry().topLeft() + QPoint(px(10155), px(5940)));

    load();
}

QCheckBox *Dialog1::addBox(const char *key, const QString &caption, int left, int top, bool designState)
{
    const qreal dpi = screenDpi(this);
    auto *b = new QCheckBox(caption, this);
    b->setObjectName(QLatin1String(key));
    b->setAccessibleName(caption);
    b->setGeometry(twipsToPx(left, dpi), twipsToPx(top, dpi), twipsToPx(kBoxWidth, dpi),
                   twipsToPx(kBoxHeight, dpi));
    b->setChecked(designState);
    // Connected after the design state is set, so only real changes (a click,
    // or a stored value that differs) reach the file.
    connect(b, &QCheckBox::toggled, this, [this, key](bool on) {
        WriteIni(QStringLiteral("config"), QLatin1String(key), boxStateText(on), m_iniPath);
    });
    return b;
}

void Dialog1::load()
{
    static constexpr const char *kLoadOrder[] = {
        "lcgs", "lczb", "lczc", "btsd", "jgjy", "lncz", "smzb", "tcsd",
    };
    for (const char *key : kLoadOrder) {
        const auto state = storedBoxState(ReadIni(QStringLiteral("config"), QLatin1String(key), m_iniPath));
        if (state)
            box(key)->setChecked(*state);
    }
}

QCheckBox *Dialog1::box(const char *key) const
{
    for (QCheckBox *b : {lczc, lcgs, lczb, lncz, smzb, jgjy, btsd, tcsd}) {
        if (b->objectName() == QLatin1String(key))
            return b;
    }
    return nullptr;
}

QCheckBox *Dialog1::boxAt(int channelIndex) const
{
    if (channelIndex < 0 || channelIndex >= int(std::size(kChannelKeys)))
        return nullptr;
    return box(kChannelKeys[channelIndex]);
}

void Dialog1::reject()
{
    close();
}

void Dialog1::closeEvent(QCloseEvent *event)
{
    // Not QDialog::closeEvent: that would route through reject() again.
    // Nothing to save here, every change was written when it was made.
    event->accept();
    emit closed();
}

} // namespace lckb
