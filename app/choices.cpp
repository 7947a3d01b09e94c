#include "app/choices.h"

#include "app/keys.h"
#include "app/settings.h"
#include "app/serverlines.h"

namespace lckb {

namespace {
const std::array<const QString *, 3> kOfferKeys = {&keys::seriesOffer, &keys::vipBriefingOffer,
                                                    &keys::goldListOffer};
} // namespace

std::optional<bool> storedSwitch(const QString &stored)
{
    if (stored == u"0")
        return false;
    if (stored == u"1")
        return true;
    return std::nullopt;
}

UserChoices::UserChoices(const QString &profilePath)
    : m_path(profilePath)
{
    for (const Channel &c : channelTable())
        m_channels[size_t(c.index)] = c.designOn;
}

void UserChoices::loadLineIndex()
{
    m_lineIndex = storedLineIndex(m_path);
}

void UserChoices::load()
{
    m_loaded = false;
    if (!profileFileUsable(m_path))
        return;
    const auto take = [this](const QString &section, const QString &key, bool &value) {
        if (const auto stored = storedSwitch(readProfile(section, key, m_path)))
            value = *stored;
    };
    take(keys::config, keys::reminderOn, m_reminderOn);
    for (size_t i = 0; i < kOfferKeys.size(); ++i)
        take(keys::config, *kOfferKeys[i], m_offers[i]);
    // A stored subscription makes the channels load now, all eight; the last
    // channel alone does not (it was only ever read with the others).
    for (const Channel &c : channelTable()) {
        if (c.index < kChannelCount - 1 && !readProfile(keys::config, QLatin1String(c.key), m_path).isEmpty()) {
            loadChannels();
            break;
        }
    }
    take(keys::config, keys::soundOn, m_soundOn);
    take(keys::login, keys::rememberLogin, m_rememberLogin);
}

void UserChoices::loadLogin()
{
    m_user = readProfile(keys::login, keys::user, m_path);
    m_pass = readProfile(keys::login, keys::pass, m_path);
}

void UserChoices::write(const QString &section, const QString &key, bool on)
{
    // A failed write is silent: the new value holds for this run.
    writeProfile(section, key, switchText(on), m_path);
}

void UserChoices::setLineIndex(int index)
{
    m_lineIndex = index;
    writeProfile(keys::config, keys::lineIndex, QString::number(index), m_path);
}

void UserChoices::setReminderOn(bool on)
{
    m_reminderOn = on;
    write(keys::config, keys::reminderOn, on);
}

void UserChoices::setSoundOn(bool on)
{
    m_soundOn = on;
    write(keys::config, keys::soundOn, on);
}

void UserChoices::setOfferOn(Offer offer, bool on)
{
    m_offers[size_t(offer)] = on;
    write(keys::config, *kOfferKeys[size_t(offer)], on);
}

void UserChoices::setRememberLogin(bool on)
{
    m_rememberLogin = on;
    if (!on) {
        // The keys stay in the file, empty.
        writeProfile(keys::login, keys::user, QString(), m_path);
        writeProfile(keys::login, keys::pass, QString(), m_path);
        m_user.clear();
        m_pass.clear();
    }
    write(keys::login, keys::rememberLogin, on);
}

void UserChoices::setLogin(const QString &user, const QString &pass)
{
    m_user = user;
    m_pass = pass;
    writeProfile(keys::login, keys::user, user, m_path);
    writeProfile(keys::login, keys::pass, pass, m_path);
}

void UserChoices::loadChannels()
{
    for (const Channel &c : channelTable()) {
        const auto stored = storedSwitch(readProfile(keys::config, QLatin1String(c.key), m_path));
        m_channels[size_t(c.index)] = stored.value_or(c.designOn);
    }
    m_channelsLoaded = true;
}

bool UserChoices::channelOn(int k)
{
    if (k < 0 || k >= kChannelCount)
        return false;
    if (!m_channelsLoaded)
        loadChannels();
    return m_channels[size_t(k)];
}

void UserChoices::setChannelOn(int k, bool on)
{
    if (k < 0 || k >= kChannelCount)
        return;
    if (!m_channelsLoaded)
        loadChannels(); // the others keep what the file says
    m_channels[size_t(k)] = on;
    write(keys::config, QLatin1String(channelTable()[size_t(k)].key), on);
}

} // namespace lckb
