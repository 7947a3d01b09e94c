// Writes the durability keys of config.ini in a loop, each switching between
// its two values, until it is killed. Prints "ready" once, then one '.' per
// finished write, so the killer knows how far it got.
#include "inikeys.h"
#include "app/settings.h"

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: lckb-soak-iniwriter CONFIG_INI\n");
        return 2;
    }
    const QString file = QString::fromLocal8Bit(argv[1]);
    const QList<soak::IniKey> keys = soak::durabilityKeys();
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::fputs("ready\n", stdout);
    for (unsigned round = 0;; ++round) {
        for (qsizetype i = 0; i < keys.size(); ++i) {
            const soak::IniKey &k = keys.at(i);
            // Rounds of b then a for every key: a key's old and new value
            // always differ, except right after a restart.
            if (!lckb::writeProfile(k.section, k.key, round % 2 ? k.a : k.b, file))
                return 1;
            std::fputc('.', stdout);
        }
    }
}
