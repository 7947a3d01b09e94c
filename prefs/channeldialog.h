#pragma once
// The one shared channel dialog of the program. It is created on first use,
// hidden, and loads the stored channel states then; closing it destroys it,
// and the next use creates it afresh from the file.
#include <QObject>
#include <QPointer>
#include <QString>

namespace lckb {

class Dialog1;

class ChannelDialog : public QObject
{
    Q_OBJECT
public:
    explicit ChannelDialog(const QString &iniPath, QObject *parent = nullptr);
    ~ChannelDialog() override;

    // The dialog, created hidden (and loaded) when it does not exist. Never
    // shows it.
    Dialog1 *touch();
    // Touches the dialog, then shows it (not modal) and brings it to the front.
    void show();
    bool exists() const;
    // Whether channel 0..7 is subscribed: its box is checked. Touches.
    bool channelOn(int channelIndex);

signals:
    // A new dialog was created and has run its load step.
    void created(lckb::Dialog1 *dialog);

private:
    QString m_iniPath;
    // Cleared as soon as the dialog accepts a close, before its deferred
    // deletion: a closed dialog is gone for every later touch.
    QPointer<Dialog1> m_dialog;
};

} // namespace lckb
