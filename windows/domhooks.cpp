#include "domhooks.h"

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
        M_Dom1 = docId;
    else if (url == m_base + QLatin1String(kQuoteIndexPath))
        M_Dom2 = docId;
    else
        M_Dom = docId;
}

bool DomHooks::hooked(const QString &docId) const
{
    return !docId.isEmpty() && (docId == M_Dom || docId == M_Dom1 || docId == M_Dom2);
}

void DomHooks::clear()
{
    M_Dom.clear();
    M_Dom1.clear();
    M_Dom2.clear();
}

} // namespace lckb
