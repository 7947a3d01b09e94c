#include "reminder/recentbulletins.h"

namespace lckb {

QString RecentBulletin::label() const
{
    return arrived.toString(QStringLiteral("HH:mm")) + QLatin1String("  ")
           + RecentBulletins::shortTitle(bulletin.title);
}

void RecentBulletins::add(const Bulletin &b, const QDateTime &arrived)
{
    m_items.prepend(RecentBulletin{arrived, b});
    if (m_items.size() > kLimit)
        m_items.resize(kLimit);
}

QString RecentBulletins::shortTitle(const QString &title)
{
    // A title comes from the server and lives on one menu line: a tab there
    // would start the shortcut column and a line break a second line, so
    // every control or separator character becomes a blank.
    QString line = title;
    for (QChar &c : line) {
        const QChar::Category cat = c.category();
        if (cat == QChar::Other_Control || cat == QChar::Separator_Line || cat == QChar::Separator_Paragraph)
            c = u' ';
    }
    line = line.simplified();
    // Counted in code points, so that a character outside the BMP is never
    // cut in half.
    const QList<uint> chars = line.toUcs4();
    if (chars.size() <= kTitleLength)
        return line;
    return QString::fromUcs4(reinterpret_cast<const char32_t *>(chars.constData()), kTitleLength - 1).trimmed()
           + QChar(0x2026);
}

} // namespace lckb
