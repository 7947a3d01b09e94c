#pragma once
// Where an address from a page may lead. Every address a page names is
// untrusted: only web addresses open a window or leave the program, and a
// page's own navigations stay with what the browser shows by itself.
#include <QUrl>

namespace lckb {

// An http or https address (QUrl keeps schemes in lower case).
inline bool isWebAddress(const QUrl &url)
{
    return url.scheme() == u"http" || url.scheme() == u"https";
}

// Whether a document may go to `url`: a web address or the blank page; a
// frame also to what a page makes of itself (data:, blob:, about:srcdoc).
// Never a local file, a browser-internal page, or a scheme the desktop
// would hand to another program.
inline bool isNavigableAddress(const QUrl &url, bool mainFrame)
{
    if (isWebAddress(url))
        return true;
    if (url.scheme() == u"about")
        return url.path() == u"blank" || (!mainFrame && url.path() == u"srcdoc");
    return !mainFrame && (url.scheme() == u"data" || url.scheme() == u"blob");
}

} // namespace lckb
