#pragma once
// Dialog1: the channel settings dialog. Its eight check boxes are the live
// subscriptions: the reminder poll reads a box each time it looks for new
// bulletins of that channel. Every change of a box is written to config.ini
// at once; the stored values are read whenever the dialog is created.
#include <QDialog>
#include <QString>

class QCheckBox;
class QCloseEvent;
class QLabel;
class QPushButton;

namespace lckb {

// The eight channel keys in the reminder reply's line order (channel index
// 0..7); each is also the name of its box and its key in section "config".
inline constexpr const char *kChannelKeys[8] = {
    "lczc", "lcgs", "lczb", "lncz", "smzb", "jgjy", "btsd", "tcsd",
};

class Dialog1 : public QDialog
{
    Q_OBJECT
public:
    // Builds the dialog hidden and runs its load step: every box whose key in
    // `iniPath` holds "0" or "1" takes that state.
    explicit Dialog1(const QString &iniPath, QWidget *parent = nullptr);

    // The box of a channel key (nullptr for an unknown key).
    QCheckBox *box(const char *key) const;
    // The box of channel 0..7 in kChannelKeys order (nullptr outside).
    QCheckBox *boxAt(int channelIndex) const;

    // Row 1, under Label2 "金岳系列：".
    QCheckBox *lczc = nullptr; // 澜策政策
    QCheckBox *lcgs = nullptr; // 澜策公司
    QCheckBox *lczb = nullptr; // 澜策资本
    QCheckBox *lncz = nullptr; // 澜内传真
    // Row 2, under Label1 "澜策题材系列：".
    QCheckBox *smzb = nullptr; // 私募周报
    QCheckBox *jgjy = nullptr; // 机构纪要
    QCheckBox *btsd = nullptr; // 标题速递
    QCheckBox *tcsd = nullptr; // 题材速递

    QLabel *Label1 = nullptr;       // heading of row 2
    QLabel *Label2 = nullptr;       // heading of row 1
    QLabel *Label3 = nullptr;       // the note below both rows
    QPushButton *OKButton = nullptr; // "关闭": closes and destroys the dialog

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
    QCheckBox *addBox(const char *key, const QString &caption, int left, int top, bool designState);
    void load();

    QString m_iniPath;
};

} // namespace lckb
