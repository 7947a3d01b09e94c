#pragma once
// The user's choices: the server line, the reminder and sound switches, the
// eight channel subscriptions, the three stored-only offers and the
// remembered login. Loaded from config.ini at start; each change is written
// through to the file, key by key, the moment it is made, and a write that
// fails leaves the new value in memory for the rest of the run. Widgets show
// and change these values; the poll and the login fill read them here.
#include <QString>

#include <array>
#include <optional>

namespace lckb {

// The boxes the main window keeps hidden: stored and loaded, acted on by
// nobody.
enum class Offer { Series, VipBriefing, GoldList };

class UserChoices
{
public:
    explicit UserChoices(const QString &profilePath = {});

    QString profilePath() const { return m_path; }
    void setProfilePath(const QString &path) { m_path = path; }

    // The line chosen last time; a stored index that names no line is line 0.
    void loadLineIndex();
    // The switches, in the order the program has always read them. Without a
    // usable config.ini every choice keeps its design state. Writes nothing.
    void load();
    // The remembered login, read at the end of the main window's load.
    void loadLogin();

    // Whether the start-up load is over. While it is not, the remember-login
    // switch does not react: a stored "1" only sets it.
    bool choicesLoaded() const { return m_loaded; }
    void setChoicesLoaded(bool loaded) { m_loaded = loaded; }

    int lineIndex() const { return m_lineIndex; }
    void setLineIndex(int index);

    bool reminderOn() const { return m_reminderOn; }
    void setReminderOn(bool on);
    bool soundOn() const { return m_soundOn; }
    void setSoundOn(bool on);
    bool offerOn(Offer offer) const { return m_offers[size_t(offer)]; }
    void setOfferOn(Offer offer, bool on);

    bool rememberLogin() const { return m_rememberLogin; }
    // Off also forgets the login, in the file and in memory.
    void setRememberLogin(bool on);
    QString user() const { return m_user; }
    QString pass() const { return m_pass; }
    // Memory first, then the file.
    void setLogin(const QString &user, const QString &pass);

    // Channel k (0..7) is subscribed. The subscriptions are read from the
    // file when they are first needed, and again after forgetChannels().
    bool channelOn(int k);
    void setChannelOn(int k, bool on);
    bool channelsLoaded() const { return m_channelsLoaded; }
    // Reads all eight from the file now: absent or odd values keep their
    // design state.
    void loadChannels();
    // The channel dialog closed: the next reader takes the file's values.
    void forgetChannels() { m_channelsLoaded = false; }

private:
    void write(const QString &section, const QString &key, bool on);

    QString m_path;
    bool m_loaded = false;
    int m_lineIndex = 0;
    bool m_reminderOn = true;
    bool m_soundOn = true;
    std::array<bool, 3> m_offers{};
    bool m_rememberLogin = false;
    QString m_user, m_pass;
    std::array<bool, 8> m_channels{};
    bool m_channelsLoaded = false;
};

// A switch's stored text: "0" off, "1" on; anything else says nothing.
std::optional<bool> storedSwitch(const QString &stored);
inline QString switchText(bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); }

} // namespace lckb
