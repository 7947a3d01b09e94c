#pragma once
// The simulator's HTML pages, GBK-encoded with their charset declared, as the
// service's old ASP pages are.
#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

namespace lckb::sim {

struct RequestRecord;

namespace pages {

using Fields = QList<QPair<QString, QString>>;

struct Headline
{
    QString id, title, group;
};

// Frame order: banner, headlines 1, [headlines 2,] login, [extra headlines].
// Four frames is the service's own layout; three drops the second headline
// frame, five adds one after the login frame.
QByteArray mainPage(int frames);
QByteArray banner();
QByteArray headlines(const QString &heading, const QList<Headline> &rows);
QByteArray loginForm(const QString &error = {});
QByteArray loggedIn(const QString &user, const Fields &fields, bool trapFilled);
QByteArray echo(const RequestRecord &rec);
QByteArray report(int id);
QByteArray bulletin(int id, const QString &title, const QString &group);
QByteArray quoteIndex();
QByteArray quoteWisdom();
QByteArray quoteNews();
QByteArray notFound(const QString &target);

// A posted form body (application/x-www-form-urlencoded, sent in GBK since
// the pages are GBK) as name/value pairs in their order.
Fields formFields(const QByteArray &body);

} // namespace pages
} // namespace lckb::sim
