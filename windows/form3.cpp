#include "form3.h"

#include "mainlink.h"
#include "screenunits.h"
#include "session.h"
#include "settings.h"
#include "twips.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

namespace lckb {

const QString Form3::kEmptyText = QStringLiteral("用户名密码不能为空");
const QString Form3::kSavedText = QStringLiteral("保存成功");

Form3::Form3(MainLink &main, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint)
    , m_main(main)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("保存密码"));
    const qreal dpi = screenDpi(this);
    auto tw = [dpi](int twips) { return twipsToPx(twips, dpi); };
    resize(tw(3675), tw(2340));

    Label1 = new QLabel(QStringLiteral("用户名："), this);
    Label1->setGeometry(tw(360), tw(480), tw(735), tw(255));
    Label2 = new QLabel(QStringLiteral("密  码："), this);
    Label2->setGeometry(tw(360), tw(1080), tw(735), tw(255));
    Text1 = new QLineEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setGeometry(tw(1200), tw(360), tw(1935), tw(375));
    Text1->setAccessibleName(Label1->text());
    Text2 = new QLineEdit(this);
    Text2->setObjectName(QStringLiteral("Text2"));
    Text2->setGeometry(tw(1200), tw(960), tw(1935), tw(375));
    Text2->setAccessibleName(Label2->text());
    Command1 = new QPushButton(QStringLiteral("保存密码"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(tw(480), tw(1680), tw(2655), tw(435));
    Command1->setAccessibleName(Command1->text());
    Label1->setBuddy(Text1);
    Label2->setBuddy(Text2);
    setTabOrder(Text1, Text2);
    setTabOrder(Text2, Command1);
    connect(Command1, &QPushButton::clicked, this, &Form3::Command1_Click);
    connect(Text2, &QLineEdit::returnPressed, this, &Form3::Command1_Click);

    // Load step.
    Text1->setText(m_main.session().strUser);
    Text2->setText(m_main.session().strPass);
}

void Form3::message(const QString &text, std::function<void()> then)
{
    auto *box = new QMessageBox(QMessageBox::NoIcon, kAppTitle, text,
                                QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    if (then)
        connect(box, &QMessageBox::finished, this, std::move(then));
    box->open();
}

void Form3::Command1_Click()
{
    // Blanks count as text: only a box with nothing in it is empty.
    if (Text1->text().isEmpty() || Text2->text().isEmpty()) {
        message(kEmptyText, nullptr);
        return;
    }
    Session &s = m_main.session();
    s.strUser = Text1->text();
    s.strPass = Text2->text();
    WriteIni(QStringLiteral("mima"), QStringLiteral("user"), Text1->text(), s.iniPath());
    WriteIni(QStringLiteral("mima"), QStringLiteral("pass"), Text2->text(), s.iniPath());

    message(kSavedText, [this] {
        if (!m_main.pageComplete()) {
            // Still loading: the login timer types the values in later.
            emit fillDone(-1, 0);
            close();
            return;
        }
        QPointer<Form3> self(this);
        m_main.fillLogin([self](const LoginFillResult &r) {
            if (!self)
                return;
            emit self->fillDone(r.frames, r.set);
            // Another frame layout, or a page that refused: the values are
            // saved; the form stays for the user to close.
            if (r.ok)
                self->close();
        });
    });
}

} // namespace lckb
