#pragma once
// The bulletins announced, newest first, for the tray's "最近提醒" menu. A
// pop-up closes itself after a few minutes and makes way for newer ones, and
// the program ends itself after twelve hours, so a user away from the desk
// would lose what was said; the list keeps it, in a file across runs.
//
// The file holds one line per bulletin, oldest first, in UTF-8:
//   arrival (ISO 8601 with its offset) TAB channel TAB group TAB title TAB path LF
// The path is the item's path on the service, so that a bulletin kept from
// an earlier run opens on the line in use now. The file holds nothing of the
// login. It is replaced whole at each bulletin (a new file renamed over it),
// so a crash never leaves a torn line, and never written or read through a
// symbolic link. A file that cannot be read whole (too large, not a plain
// file, not to be opened, a line that does not parse) is never replaced: it
// is set aside beside itself, kept byte for byte, and the list starts anew;
// where it cannot be moved either, the list is kept for this run only.
#include "reminder/replyplan.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

namespace lckb {

struct RecentBulletin
{
    QDateTime arrived; // when its pop-up was raised
    Bulletin bulletin; // what its pop-up showed; one read from the file has
                       // its channel, group, title and path only

    // "HH:mm", two blanks and the short title: how the menu lists it. An
    // entry from another day than `today` starts with its date, "MM-dd HH:mm".
    QString label(const QDate &today) const;
};

class RecentBulletins
{
public:
    static constexpr int kLimit = 20;       // entries the menu shows
    static constexpr int kKept = 200;       // entries the file keeps; the oldest goes first
    static constexpr int kTitleLength = 30; // characters of a title a label shows at most
    static constexpr qint64 kFileLimit = 1024 * 1024; // a larger file is not ours: set aside
    static constexpr int kLineLimit = 4096; // bytes of one line; a longer bulletin is not kept

    // `file`: where the list is kept across runs, read now; empty: this run only.
    explicit RecentBulletins(const QString &file = {});

    // One pop-up raised at `arrived`; written to the file at once.
    void add(const Bulletin &b, const QDateTime &arrived);
    // What the user is to be told of the file found at start, in Chinese:
    // empty, or where a file that could not be read was set aside, or that
    // the list is kept for this run only.
    QString notice() const { return m_notice; }
    // Newest first, at most kLimit.
    QList<RecentBulletin> items() const { return m_items.mid(0, kLimit); }

    // The title as one line of plain text, at most kTitleLength characters,
    // the last of them an ellipsis when it had to be cut.
    static QString shortTitle(const QString &title);

    // One line of the file, with its line end; empty when the bulletin
    // cannot be kept (no path on the service, or too long). The arrival is
    // written with its offset from UTC, so that it means the same moment in
    // any time zone; a line without one is read as local time.
    static QByteArray fileLine(const RecentBulletin &b);
    // A line of the file without its line end; nothing when it is malformed.
    static std::optional<RecentBulletin> parseLine(const QByteArray &line);

private:
    void load();
    void setAside(const char *why);
    bool save() const;

    QString m_file;
    bool m_writable = true; // false: a file that could not be read stays where it is
    QString m_notice;
    QList<RecentBulletin> m_items; // newest first, at most kKept
};

} // namespace lckb
