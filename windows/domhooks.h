#pragma once
// Which documents of a secondary browser window show the program's own
// context menu. A document is known by an id its injected script made up;
// the two pages of the outside quote site keep hooks of their own, every
// other page shares one, so of an ordinary frameset only the document that
// finished loading last (the top page) keeps the program's menu.
#include "app/external.h"

#include <QString>

namespace lckb {

class DomHooks
{
public:
    explicit DomHooks(QString quoteSiteBase = QString::fromLatin1(kQuoteSiteBase));

    // The quote site's base address, scheme and host, no trailing "/".
    void setQuoteSiteBase(const QString &base) { m_base = base; }
    QString quoteSiteBase() const { return m_base; }

    // A document of the top page or of a frame finished loading. The whole
    // address decides, exactly: the quote wisdom page goes to quoteWisdom,
    // the quote index page to quoteIndex, anything else to ordinary. An empty
    // id (the document is not an HTML document) leaves every hook as it was.
    void documentCompleted(const QString &docId, const QString &url);

    bool hooked(const QString &docId) const;
    void clear();

    QString ordinary;    // hook of the last completed ordinary document
    QString quoteWisdom; // hook of the quote wisdom page
    QString quoteIndex;  // hook of the quote index page

private:
    QString m_base;
};

} // namespace lckb
