#include "prefs/messagebox.h"

#include <QAbstractButton>

namespace lckb {

QMessageBox *openMessage(QMessageBox::Icon icon, const QString &title, const QString &text,
                         QMessageBox::StandardButtons buttons, QWidget *parent,
                         std::function<void(QMessageBox::StandardButton)> done)
{
    auto *box = new QMessageBox(icon, title, text, buttons, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    if (done)
        QObject::connect(box, &QMessageBox::finished, box,
                         [box, done = std::move(done)] { done(box->standardButton(box->clickedButton())); });
    box->open();
    return box;
}

} // namespace lckb
