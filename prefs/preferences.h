#pragma once
// The six preference boxes of the main window and the procedure that loads
// them. The boxes are the live preferences; config.ini is their persistent
// copy, written key by key the moment a box changes.
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QCheckBox;

namespace lckb {

class ChannelDialog;
struct Session;

// Created by the main window with their captions and design states.
struct MainBoxes
{
    QCheckBox *Check1;   // reminder switch "右下角提示详细设置"; checking it opens the channel dialog
    QCheckBox *Check2;   // hidden "澜策宝系列", stored and loaded only
    QCheckBox *Check3;   // hidden "沛鑫VIP内参", stored and loaded only
    QCheckBox *Check4;   // hidden "金名单", stored and loaded only
    QCheckBox *shengyin; // sound master switch "声音总开/关"
    QCheckBox *mima;     // "记住登录密码": remember the login password
};

class Preferences : public QObject
{
    Q_OBJECT
public:
    // Binds the change handlers of the six boxes. `showSavePasswordForm`
    // shows the save-password form, not modal.
    Preferences(Session &session, MainBoxes boxes, ChannelDialog &channels,
                std::function<void()> showSavePasswordForm, QObject *parent = nullptr);

    // Loads every stored preference into its box, once at start. Opens no
    // window and leaves the remembered login alone.
    void config();

    // "Preferences loaded": false while config() runs, set true by the main
    // window at the end of its load. Until then the mima box stays quiet.
    std::optional<bool> blnTemp;

    // Whether a box counts as on: only a checked box does.
    bool boxOn(QCheckBox *b) const;

private:
    void loadBox(QCheckBox *b, const QString &section, const QString &key);
    void writeState(const QString &section, const QString &key, bool on);
    void onCheck1(bool on);
    void onMima(bool on);

    Session &m_session;
    MainBoxes m_boxes;
    ChannelDialog &m_channels;
    std::function<void()> m_showSavePasswordForm;
    bool m_loading = false;
};

} // namespace lckb
