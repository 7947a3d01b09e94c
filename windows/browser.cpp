#include "windows/browser.h"

#include <QCoreApplication>
#include <QPointer>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

namespace lckb {

QWebEngineProfile *browserProfile()
{
    static QPointer<QWebEngineProfile> profile;
    if (!profile) {
        profile = new QWebEngineProfile(QCoreApplication::instance()); // no storage name: memory only
        profile->setHttpAcceptLanguage(QStringLiteral("zh-CN,zh;q=0.9"));
        profile->settings()->setAttribute(QWebEngineSettings::ErrorPageEnabled, true);
    }
    return profile;
}

SilentPage::SilentPage(QObject *parent)
    : QWebEnginePage(browserProfile(), parent)
{
}

} // namespace lckb
