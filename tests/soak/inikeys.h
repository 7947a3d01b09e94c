#pragma once
// The keys the durability test has written and killed over and over: each
// with two values the writer alternates between. Plain and Chinese sections,
// a value that needs quotes, and one just under the 1,024-byte read limit.
#include <QList>
#include <QString>

namespace soak {

struct IniKey
{
    QString section, key, a, b;
};

inline QList<IniKey> durabilityKeys()
{
    return {
        {"config", "xianlu", "0", "2"},
        {"config", "lczc", "1", "0"},
        {"mima", "user", QStringLiteral("张三"), QStringLiteral("欧阳明月")},
        // 1,020 bytes in code page 936 either way.
        {"mima", "pass", QString(510, QChar(0x5BC6)), QString(509, QChar(0x7801)) + "ab"},
        {QStringLiteral("界面"), QStringLiteral("标题"), QStringLiteral("  前后有空格  "), QStringLiteral("\"带引号\"")},
    };
}

} // namespace soak
