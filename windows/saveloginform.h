#pragma once
// The save-password form, where the user enters the service login that the
// program remembers and types into the service page.
#include <QWidget>

#include <functional>

class QLineEdit;

namespace lckb {

class MainLink;

class SaveLoginForm : public QWidget
{
    Q_OBJECT
public:
    static const QString kCaption;
    static const QString kEmptyText; // "user name and password must not be empty"
    static const QString kSavedText; // "saved"

    // The boxes show the remembered login. Its controls are named userEdit,
    // passwordEdit and saveButton.
    explicit SaveLoginForm(MainLink &main, QWidget *parent = nullptr);

    // The save button: remember, store, confirm, type into the page, close.
    void save();

signals:
    // After the fill was tried: frames found and fields set, for tests and logs.
    void fillDone(int frames, int fieldsSet);

private:
    void message(const QString &text, std::function<void()> then);

    MainLink &m_main;
    QLineEdit *m_user = nullptr;
    QLineEdit *m_password = nullptr; // shown in clear, as the user asked
};

} // namespace lckb
