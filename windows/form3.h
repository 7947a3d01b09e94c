#pragma once
// Form3: the save-password form, where the user enters the service login
// that the program remembers and types into the service page.
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace lckb {

class MainLink;

class Form3 : public QWidget
{
    Q_OBJECT
public:
    static const QString kEmptyText; // "user name and password must not be empty"
    static const QString kSavedText; // "saved"

    // Runs the load step: the boxes show the remembered login.
    explicit Form3(MainLink &main, QWidget *parent = nullptr);

    // Command1 click: remember, store, confirm, type into the page, close.
    void Command1_Click();

    QLabel *Label1;        // "用户名："
    QLabel *Label2;        // "密  码："
    QLineEdit *Text1;      // the user name
    QLineEdit *Text2;      // the password, shown in clear as the user asked
    QPushButton *Command1; // "保存密码"

signals:
    // After the fill was tried: frames found and fields set, for tests and logs.
    void fillDone(int frames, int fieldsSet);

private:
    void message(const QString &text, std::function<void()> then);
    MainLink &m_main;
};

} // namespace lckb
