#include "channeldialog.h"

#include "dialog1.h"

#include <QCheckBox>

namespace lckb {

ChannelDialog::ChannelDialog(const QString &iniPath, QObject *parent)
    : QObject(parent), m_iniPath(iniPath)
{
}

ChannelDialog::~ChannelDialog()
{
    delete m_dialog.data();
}

Dialog1 *ChannelDialog::touch()
{
    if (!m_dialog) {
        auto *d = new Dialog1(m_iniPath);
        m_dialog = d;
        connect(d, &Dialog1::closed, this, [this, d] {
            if (m_dialog == d)
                m_dialog.clear();
        });
        emit created(d);
    }
    return m_dialog;
}

void ChannelDialog::show()
{
    Dialog1 *d = touch();
    d->show();
    d->raise();
    d->activateWindow();
}

bool ChannelDialog::exists() const
{
    return !m_dialog.isNull();
}

bool ChannelDialog::channelOn(int channelIndex)
{
    const QCheckBox *b = touch()->boxAt(channelIndex);
    return b && b->checkState() == Qt::Checked;
}

} // namespace lckb
