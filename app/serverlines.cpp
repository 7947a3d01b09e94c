#include "app/serverlines.h"

#include "app/keys.h"
#include "app/settings.h"

#include <QRegularExpression>
#include <cmath>

namespace lckb {

namespace {
const QRegularExpression &hostPort()
{
    static const QRegularExpression re(
        QStringLiteral("^([A-Za-z0-9](?:[A-Za-z0-9.-]*[A-Za-z0-9])?|\\[[0-9A-Fa-f:.]+\\])(?::([0-9]{1,5}))?$"));
    return re;
}
} // namespace

bool isHostEntry(const QString &entry)
{
    const auto m = hostPort().match(entry.trimmed());
    // Port 0 is no port a request can go to.
    const int port = m.captured(2).toInt();
    return m.hasMatch() && (m.captured(2).isEmpty() || (port >= 1 && port <= 65535));
}

std::optional<ServerLines> makeServerLines(const QStringList &hosts)
{
    if (hosts.size() != 3)
        return std::nullopt;
    ServerLines t;
    QString host0;
    for (int i = 0; i < 3; ++i) {
        const QString h = hosts.at(i).trimmed();
        if (!isHostEntry(h))
            return std::nullopt;
        t[size_t(i)] = QStringLiteral("http://") + h;
        if (i == 0)
            host0 = hostPort().match(h).captured(1);
    }
    t[3] = QStringLiteral("http://") + host0 + QStringLiteral(":803");
    return t;
}

ServerLines defaultServerLines()
{
    return *makeServerLines({QString::fromLatin1(kDefaultHosts[0]), QString::fromLatin1(kDefaultHosts[1]),
                             QString::fromLatin1(kDefaultHosts[2])});
}

int parseLineIndex(const QString &stored)
{
    // Leading blanks and an optional sign, then digits with an optional
    // fraction, as a number conversion of the text would take them.
    static const QRegularExpression lead(QStringLiteral("^[ \\t]*([+-]?(?:[0-9]+\\.?[0-9]*|\\.[0-9]+))"));
    const auto m = lead.match(stored);
    if (!m.hasMatch())
        return 0;
    bool ok = false;
    const double v = m.captured(1).toDouble(&ok);
    if (!ok || !std::isfinite(v) || std::fabs(v) > 32767.5)
        return 0; // beyond any line; validLineIndex would send it to line 0 anyway
    return int(std::nearbyint(v)); // the default rounding mode sends halves to even
}

int validLineIndex(int index)
{
    return (index >= 0 && index < kLineCount) ? index : 0;
}

int storedLineIndex(const QString &profilePath)
{
    return validLineIndex(parseLineIndex(readProfile(keys::config, keys::lineIndex, profilePath)));
}

} // namespace lckb
