#include "windows/domhooks.h"

#include <utility>

namespace lckb {

DomHooks::DomHooks(QString quoteSiteBase)
    : m_base(std::move(quoteSiteBase))
{
}

void DomHooks::documentCompleted(const QString &docId, const QString &url)
{
    if (docId.isEmpty())
        return;
    // Assigning a hook drops the document it held: that one shows the
    // browser's own menu again.
    if (url == m_base + QLatin1String(kQuoteWisdomPath))
        quoteWisdom = docId;
    else if (url == m_base + QLatin1String(kQuoteIndexPath))
        quoteIndex = docId;
    else
        ordinary = docId;
}

bool DomHooks::hooked(const QString &docId) const
{
    return !docId.isEmpty() && (docId == ordinary || docId == quoteWisdom || docId == quoteIndex);
}

void DomHooks::clear()
{
    ordinary.clear();
    quoteWisdom.clear();
    quoteIndex.clear();
}

} // namespace lckb
