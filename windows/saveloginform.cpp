#include "windows/saveloginform.h"

#include "desktop/accessibility.h"
#include "app/session.h"
#include "prefs/messagebox.h"
#include "prefs/screenunits.h"
#include "windows/mainlink.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

namespace lckb {

const QString SaveLoginForm::kCaption = QStringLiteral("保存密码");
const QString SaveLoginForm::kEmptyText = QStringLiteral("用户名密码不能为空");
const QString SaveLoginForm::kSavedText = QStringLiteral("保存成功");

SaveLoginForm::SaveLoginForm(MainLink &main, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint)
    , m_main(main)
{
    exposeWindowsAs(staticMetaObject, QAccessible::Dialog, this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(kCaption);
    resize(twipsOn(this, 3675), twipsOn(this, 2340));

    auto *userLabel = new QLabel(QStringLiteral("用户名："), this);
    placeTwips(userLabel, 360, 480, 735, 255);
    auto *passwordLabel = new QLabel(QStringLiteral("密  码："), this);
    placeTwips(passwordLabel, 360, 1080, 735, 255);
    m_user = new QLineEdit(this);
    m_user->setObjectName(QStringLiteral("userEdit"));
    placeTwips(m_user, 1200, 360, 1935, 375);
    m_user->setAccessibleName(userLabel->text());
    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("passwordEdit"));
    placeTwips(m_password, 1200, 960, 1935, 375);
    m_password->setAccessibleName(passwordLabel->text());
    auto *saveButton = new QPushButton(QStringLiteral("保存密码"), this);
    saveButton->setObjectName(QStringLiteral("saveButton"));
    placeTwips(saveButton, 480, 1680, 2655, 435);
    saveButton->setAccessibleName(saveButton->text());
    userLabel->setBuddy(m_user);
    passwordLabel->setBuddy(m_password);
    setTabOrder(m_user, m_password);
    setTabOrder(m_password, saveButton);
    connect(saveButton, &QPushButton::clicked, this, &SaveLoginForm::save);
    connect(m_password, &QLineEdit::returnPressed, this, &SaveLoginForm::save);

    const UserChoices &c = m_main.session().choices;
    m_user->setText(c.user());
    m_password->setText(c.pass());
}

void SaveLoginForm::message(const QString &text, std::function<void()> then)
{
    // A child of the form: it goes with the form, and `then` with it.
    openMessage(QMessageBox::NoIcon, kAppTitle, text, QMessageBox::Ok, this,
                [then = std::move(then)](QMessageBox::StandardButton) {
                    if (then)
                        then();
                });
}

void SaveLoginForm::save()
{
    // Blanks count as text: only a box with nothing in it is empty.
    if (m_user->text().isEmpty() || m_password->text().isEmpty()) {
        message(kEmptyText, nullptr);
        return;
    }
    m_main.session().choices.setLogin(m_user->text(), m_password->text());

    message(kSavedText, [this] {
        if (!m_main.pageComplete()) {
            // Still loading: the login timer types the values in later.
            emit fillDone(-1, 0);
            close();
            return;
        }
        QPointer<SaveLoginForm> self(this);
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
