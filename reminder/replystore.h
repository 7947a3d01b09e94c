#pragma once
// The reply store: what the reminder poll remembers of the server's replies,
// in memory only, empty at every start.
#include <QString>
#include <QStringList>

namespace lckb {

class ReplyStore
{
public:
    QString baseline; // the last valid reply taken in

    // Seed: the first valid reply since start becomes the baseline.
    void seed(const QString &reply)
    {
        if (baseline.isEmpty())
            baseline = reply;
    }
    void promote(const QString &reply) { baseline = reply; }

    // The first `count` lines, split at CR LF only; a text ending in CR LF
    // has one more, empty, line. A reader that never looks further need not
    // split a huge reply.
    static QStringList firstLines(const QString &text, int count)
    {
        QStringList out;
        qsizetype from = 0;
        while (out.size() < count) {
            const qsizetype at = text.indexOf(QStringLiteral("\r\n"), from);
            if (at < 0) {
                out << text.mid(from);
                break;
            }
            out << text.mid(from, at - from);
            from = at + 2;
        }
        return out;
    }
};

} // namespace lckb
