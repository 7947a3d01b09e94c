#pragma once
// The bulletins announced in this run, newest first, for the tray's
// "最近提醒" menu. A pop-up closes itself after a few minutes and makes way
// for newer ones, so a user away from the desk would lose what it said; the
// list keeps it until the run ends. Memory only, like the reply store.
#include "reminder/replyplan.h"

#include <QDateTime>
#include <QList>
#include <QString>

namespace lckb {

struct RecentBulletin
{
    QDateTime arrived; // when its pop-up was raised
    Bulletin bulletin; // what its pop-up showed and a click opens

    // "HH:mm", two blanks and the short title: how the menu lists it.
    QString label() const;
};

class RecentBulletins
{
public:
    static constexpr int kLimit = 20;       // entries kept; the oldest goes first
    static constexpr int kTitleLength = 30; // characters of a title a label shows at most

    // One pop-up raised at `arrived`.
    void add(const Bulletin &b, const QDateTime &arrived);
    // Newest first, at most kLimit.
    const QList<RecentBulletin> &items() const { return m_items; }

    // The title as one line of plain text, at most kTitleLength characters,
    // the last of them an ellipsis when it had to be cut.
    static QString shortTitle(const QString &title);

private:
    QList<RecentBulletin> m_items;
};

} // namespace lckb
