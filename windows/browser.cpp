#include "windows/browser.h"

#include "app/webaddress.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QPointer>
#include <QRandomGenerator>
#include <QWebEngineDownloadRequest>
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
        // An address of another scheme is never handed to the desktop, clicked
        // or not: the engine would pass it to whatever program claims it (a
        // file share, a mail with an attachment), past the program's routing.
        profile->settings()->setUnknownUrlSchemePolicy(QWebEngineSettings::DisallowUnknownUrlSchemes);
        // Nothing a page sends is saved. An unaccepted download is cancelled
        // anyway; saying so here keeps it that way.
        QObject::connect(profile, &QWebEngineProfile::downloadRequested, profile,
                         [](QWebEngineDownloadRequest *download) { download->cancel(); });
    }
    return profile;
}

ScriptChannel::ScriptChannel()
{
    quint64 words[2];
    QRandomGenerator::system()->fillRange(words);
    m_token = QStringLiteral("lckb%1%2").arg(words[0], 16, 16, QLatin1Char('0')).arg(words[1], 16, 16, QLatin1Char('0'));
}

QString ScriptChannel::tokenScript() const
{
    return QString::fromUtf8(QJsonDocument(QJsonArray{m_token}).toJson(QJsonDocument::Compact)) + QStringLiteral("[0]");
}

QJsonDocument ScriptChannel::read(const QString &message) const
{
    if (!message.startsWith(m_token + u' '))
        return {};
    return QJsonDocument::fromJson(message.mid(m_token.size() + 1).toUtf8());
}

SilentPage::SilentPage(QObject *parent)
    : QWebEnginePage(browserProfile(), parent)
{
    settings()->setUnknownUrlSchemePolicy(QWebEngineSettings::DisallowUnknownUrlSchemes);
}

bool SilentPage::acceptNavigationRequest(const QUrl &url, NavigationType, bool isMainFrame)
{
    return isNavigableAddress(url, isMainFrame);
}

} // namespace lckb
