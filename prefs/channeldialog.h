#pragma once
// The channel settings dialog: one box per bulletin channel. It shows the
// subscriptions of the user's choices, read from config.ini unless they are
// loaded already, and writes every change through them at once. Closing it
// destroys it, and the next reader of the subscriptions takes the file's
// values again.
#include <QDialog>

class QCheckBox;
class QCloseEvent;

namespace lckb {

class UserChoices;

class ChannelDialog : public QDialog
{
    Q_OBJECT
public:
    static const QString kCaption;

    // Built hidden. Each box is named after its channel's key.
    explicit ChannelDialog(UserChoices &choices, QWidget *parent = nullptr);

signals:
    // The dialog accepted a close and is about to be destroyed.
    void closed();

public slots:
    // Escape closes like "关闭" does, so the dialog is never left hidden
    // but alive once the user has dismissed it.
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    UserChoices &m_choices;
};

} // namespace lckb
