#include "prefs/messagebox.h"

#include "prefs/screenunits.h"

#include <QAbstractButton>
#include <QGridLayout>
#include <QSpacerItem>

namespace lckb {

QMessageBox *openMessage(QMessageBox::Icon icon, const QString &title, const QString &text,
                         QMessageBox::StandardButtons buttons, QWidget *parent,
                         std::function<void(QMessageBox::StandardButton)> done)
{
    auto *box = new QMessageBox(icon, title, text, buttons, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    // Named here too, for a system without Qt's own Chinese translation.
    if (QAbstractButton *ok = box->button(QMessageBox::Ok))
        ok->setText(QStringLiteral("确定"));
    if (QAbstractButton *cancel = box->button(QMessageBox::Cancel))
        cancel->setText(QStringLiteral("取消"));
    // Wide enough for the whole title beside the window manager's icon and
    // buttons: a box sized to a short text would cut it to "澜…".
    if (auto *grid = qobject_cast<QGridLayout *>(box->layout())) {
        const int wide = box->fontMetrics().horizontalAdvance(title) * 3 / 2 + twipsOn(box, 2400);
        grid->addItem(new QSpacerItem(wide, 0), grid->rowCount(), 0, 1, grid->columnCount());
    }
    if (done)
        QObject::connect(box, &QMessageBox::finished, box,
                         [box, done = std::move(done)] { done(box->standardButton(box->clickedButton())); });
    box->open();
    return box;
}

} // namespace lckb
