#pragma once
// The eight bulletin channels. The index is the channel's line in the
// reminder reply and its place on the channel dialog: the first row (0-3)
// shares one sound, the second row (4-7) the other.
#include <array>

namespace lckb {

struct Channel
{
    int index;
    const char *flag;    // name of the channel's box on the channel dialog
    const char *caption; // UTF-8
    const char *sound;   // file name in the program folder
};

inline const std::array<Channel, 8> &channelTable()
{
    static const std::array<Channel, 8> table{{
        {0, "lczc", "澜策政策", "ts.wav"},
        {1, "lcgs", "澜策公司", "ts.wav"},
        {2, "lczb", "澜策资本", "ts.wav"},
        {3, "lncz", "澜内传真", "ts.wav"},
        {4, "smzb", "私募周报", "ts1.wav"},
        {5, "jgjy", "机构纪要", "ts1.wav"},
        {6, "btsd", "标题速递", "ts1.wav"},
        {7, "tcsd", "题材速递", "ts1.wav"},
    }};
    return table;
}

} // namespace lckb
