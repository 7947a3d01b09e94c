#pragma once
// The names of config.ini, a file format that existing installations rely
// on, and the eight bulletin channels. Every reader and writer of the file
// takes its section and key names from here.
#include <QString>

#include <array>

namespace lckb {

namespace keys {
// Sections.
inline const QString config = QStringLiteral("config");
inline const QString login = QStringLiteral("mima");
// Section "config".
inline const QString lineIndex = QStringLiteral("xianlu");
inline const QString reminderOn = QStringLiteral("Check1");
inline const QString seriesOffer = QStringLiteral("Check2");
inline const QString vipBriefingOffer = QStringLiteral("Check3");
inline const QString goldListOffer = QStringLiteral("Check4");
inline const QString soundOn = QStringLiteral("shengyin");
// Section "mima".
inline const QString rememberLogin = QStringLiteral("mima");
inline const QString user = QStringLiteral("user");
inline const QString pass = QStringLiteral("pass");
} // namespace keys

// A bulletin channel. The index is the channel's line in the reminder reply
// and its place on the channel dialog: the first row (0-3) shares one sound,
// the second row (4-7) the other.
struct Channel
{
    int index;
    const char *key;     // its key in section "config", "1" when subscribed
    const char *caption; // UTF-8
    const char *sound;   // file name in the program folder
    bool designOn;       // subscribed when the file says nothing
};

inline constexpr int kChannelCount = 8;

inline const std::array<Channel, kChannelCount> &channelTable()
{
    static const std::array<Channel, kChannelCount> table{{
        {0, "lczc", "澜策政策", "ts.wav", true},
        {1, "lcgs", "澜策公司", "ts.wav", true},
        {2, "lczb", "澜策资本", "ts.wav", true},
        {3, "lncz", "澜内传真", "ts.wav", true},
        {4, "smzb", "私募周报", "ts1.wav", true},
        {5, "jgjy", "机构纪要", "ts1.wav", false},
        {6, "btsd", "标题速递", "ts1.wav", true},
        {7, "tcsd", "题材速递", "ts1.wav", true},
    }};
    return table;
}

} // namespace lckb
