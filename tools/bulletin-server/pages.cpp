#include "pages.h"

#include "bulletinserver.h"
#include "app/external.h"
#include "app/gbk.h"

#include <QStringList>

namespace lckb::sim::pages {
namespace {

QString esc(const QString &s) { return s.toHtmlEscaped(); }

const QString kHead = QStringLiteral(
    "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\">\r\n");

QByteArray page(const QString &title, const QString &body)
{
    return encodeGbk(kHead + QStringLiteral("<title>") + esc(title)
                     + QStringLiteral("</title></head>\r\n<body>\r\n") + body
                     + QStringLiteral("\r\n</body></html>\r\n"));
}

QString frame(const QString &id, const QString &src)
{
    return QStringLiteral("<frame id=\"%1\" name=\"%1\" src=\"%2\">\r\n").arg(id, esc(src));
}

// "market.example.net" -> "Market.Example.Net": the client must match the
// domain in any letter case.
QString capitalised(const QString &domain)
{
    QStringList parts = domain.split(QLatin1Char('.'));
    for (QString &p : parts)
        if (!p.isEmpty())
            p[0] = p[0].toUpper();
    return parts.join(QLatin1Char('.'));
}

QString fieldTable(const Fields &fields)
{
    QString rows;
    for (const auto &[name, value] : fields)
        rows += QStringLiteral("<tr><td>%1</td><td>%2</td></tr>\r\n").arg(esc(name), esc(value));
    return rows;
}

} // namespace

QByteArray mainPage(int frames)
{
    QString inner = frame(QStringLiteral("news1"), QStringLiteral("/nc/news.asp?p=1"));
    QString cols = QStringLiteral("30%,*");
    if (frames >= 4) {
        inner += frame(QStringLiteral("news2"), QStringLiteral("/nc/news.asp?p=2"));
        cols = QStringLiteral("22%,22%,*");
    }
    inner += frame(QStringLiteral("main"), QStringLiteral("/nc/login.asp"));
    if (frames >= 5) {
        inner += frame(QStringLiteral("extra"), QStringLiteral("/nc/news.asp?p=3"));
        cols = QStringLiteral("20%,20%,*,20%");
    }
    return encodeGbk(kHead + QStringLiteral("<title>澜策快报</title></head>\r\n"
                                            "<frameset rows=\"96,*\">\r\n")
                     + frame(QStringLiteral("banner"), QStringLiteral("/nc/banner.asp"))
                     + QStringLiteral("<frameset cols=\"%1\">\r\n").arg(cols) + inner
                     + QStringLiteral("</frameset>\r\n</frameset>\r\n</html>\r\n"));
}

QByteArray banner()
{
    const QString domain = QString::fromLatin1(kMarketplaceDomain);
    return page(QStringLiteral("澜策快报"),
                QStringLiteral(
                    "<div id=\"bannerBar\"><b>澜策快报 · 澜策资讯</b>\r\n"
                    "<a id=\"marketLink\" href=\"http://www.%1/shop?x=1\" target=\"_blank\">澜策商城</a>\r\n"
                    "<a id=\"marketRefLink\" href=\"/nc/report.asp?id=3&amp;from=%2\" target=\"_blank\">商城推荐</a>\r\n"
                    "<a id=\"reportLink\" href=\"/nc/report.asp?id=1\" target=\"_blank\">研究报告</a>\r\n"
                    "<form id=\"echoForm\" method=\"post\" target=\"_blank\" action=\"/nc/echo.asp\">\r\n"
                    "<input type=\"hidden\" id=\"echoKind\" name=\"kind\" value=\"订阅\">\r\n"
                    "<input type=\"text\" id=\"echoNote\" name=\"note\" value=\"澜策 快报&amp;测试\">\r\n"
                    "<input type=\"submit\" id=\"echoSubmit\" value=\"提交\">\r\n"
                    "</form></div>")
                    .arg(domain.toUpper(), capitalised(domain)));
}

QByteArray headlines(const QString &heading, const QList<Headline> &rows)
{
    QString list;
    for (const Headline &h : rows) {
        list += QStringLiteral("<tr><td>[%1]</td><td><a href=\"/nc/show.asp?id=%2\">%3</a></td></tr>\r\n")
                    .arg(esc(h.group), esc(h.id), esc(h.title));
    }
    return page(heading, QStringLiteral("<h3>%1</h3>\r\n<table id=\"headlines\">\r\n%2</table>")
                             .arg(esc(heading), list));
}

QByteArray loginForm(const QString &error)
{
    // The hidden "UserName" comes first and a lower-case "username" sits in
    // between, so a client that takes the first name match, or matches names
    // case-insensitively, fills the wrong field.
    const QString err = error.isEmpty()
        ? QString()
        : QStringLiteral("<p id=\"loginError\">%1</p>\r\n").arg(esc(error));
    return page(QStringLiteral("会员登录"),
                err
                    + QStringLiteral(
                        "<form id=\"loginForm\" method=\"post\" action=\"/nc/login.asp\">\r\n"
                        "<input type=\"hidden\" id=\"trapHidden\" name=\"UserName\" value=\"\">\r\n"
                        "<p>昵称 <input type=\"text\" id=\"trapLower\" name=\"username\" value=\"\"></p>\r\n"
                        "<p>用户名 <input type=\"text\" id=\"userName\" name=\"UserName\" value=\"\"></p>\r\n"
                        "<p>密　码 <input type=\"password\" id=\"userPassword\" name=\"UserPassword\" value=\"\"></p>\r\n"
                        "<p><input type=\"submit\" id=\"loginSubmit\" value=\"登录\"></p>\r\n"
                        "</form>"));
}

QByteArray loggedIn(const QString &user, const Fields &fields, bool trapFilled)
{
    return page(QStringLiteral("会员中心"),
                QStringLiteral("<p id=\"welcome\">欢迎您，<span id=\"who\">%1</span></p>\r\n"
                               "<p id=\"trapState\" data-filled=\"%2\">%3</p>\r\n"
                               "<table id=\"received\">\r\n%4</table>\r\n"
                               "<a id=\"logout\" href=\"/nc/login.asp\">退出登录</a>")
                    .arg(esc(user), trapFilled ? QStringLiteral("1") : QStringLiteral("0"),
                         trapFilled ? QStringLiteral("隐藏字段被填写") : QString(),
                         fieldTable(fields)));
}

QByteArray echo(const RequestRecord &rec)
{
    QString headers;
    for (const auto &[name, value] : rec.headers)
        headers += QString::fromLatin1(name) + QStringLiteral(": ") + QString::fromLatin1(value) + u'\n';
    return page(QStringLiteral("回显"),
                QStringLiteral("<h3>收到的请求</h3>\r\n"
                               "<pre id=\"method\">%1</pre>\r\n<pre id=\"target\">%2</pre>\r\n"
                               "<pre id=\"headers\">%3</pre>\r\n<pre id=\"body\">%4</pre>\r\n"
                               "<table id=\"fields\">\r\n%5</table>")
                    .arg(esc(QString::fromLatin1(rec.method)), esc(rec.target), esc(headers),
                         esc(decodeGbk(rec.body)), fieldTable(formFields(rec.body))));
}

QByteArray report(int id)
{
    return page(QStringLiteral("研究报告 %1").arg(id),
                QStringLiteral("<h2 id=\"reportTitle\">研究报告 %1</h2>\r\n"
                               "<p>本报告为模拟内容，仅供演示。</p>\r\n"
                               "<a id=\"nextReport\" href=\"/nc/report.asp?id=%2\" target=\"_blank\">下一篇报告</a>")
                    .arg(id)
                    .arg(id + 1));
}

QByteArray bulletin(int id, const QString &title, const QString &group)
{
    if (title.isEmpty()) {
        return page(QStringLiteral("快报 %1").arg(id),
                    QStringLiteral("<h2 id=\"title\">快报 %1</h2>\r\n<p id=\"missing\">该快报已过期或不存在。</p>")
                        .arg(id));
    }
    return page(title,
                QStringLiteral("<p id=\"group\">%1</p>\r\n<h2 id=\"title\">%2</h2>\r\n"
                               "<p>编号 %3。以上内容为模拟快报，不构成投资建议。</p>")
                    .arg(esc(group), esc(title))
                    .arg(id));
}

QByteArray quoteIndex()
{
    return encodeGbk(kHead + QStringLiteral("<title>智慧选股</title></head>\r\n<frameset cols=\"60%,*\">\r\n")
                     + frame(QStringLiteral("wisdom"), QString::fromLatin1(kQuoteWisdomPath))
                     + frame(QStringLiteral("quoteNews"), QStringLiteral("/wisdom.do?method=news"))
                     + QStringLiteral("</frameset>\r\n</html>\r\n"));
}

QByteArray quoteWisdom()
{
    return page(QStringLiteral("智慧选股"),
                QStringLiteral("<h2 id=\"wisdomTitle\">智慧选股</h2>\r\n"
                               "<p id=\"wisdomText\">今日关注：低空经济、固态电池。</p>"));
}

QByteArray quoteNews()
{
    return page(QStringLiteral("行情资讯"),
                QStringLiteral("<h3>行情资讯</h3>\r\n"
                               "<a id=\"quoteReportLink\" href=\"/nc/report.asp?id=7\" target=\"_blank\">查看研究报告</a>"));
}

QByteArray notFound(const QString &target)
{
    return page(QStringLiteral("找不到页面"),
                QStringLiteral("<h2>404 找不到页面</h2>\r\n<p>%1</p>").arg(esc(target)));
}

Fields formFields(const QByteArray &body)
{
    Fields out;
    if (body.isEmpty())
        return out;
    for (QByteArray pair : body.split('&')) {
        pair.replace('+', ' ');
        const qsizetype eq = pair.indexOf('=');
        const QByteArray name = eq < 0 ? pair : pair.left(eq);
        const QByteArray value = eq < 0 ? QByteArray() : pair.mid(eq + 1);
        out.append({decodeGbk(QByteArray::fromPercentEncoding(name)),
                    decodeGbk(QByteArray::fromPercentEncoding(value))});
    }
    return out;
}

} // namespace lckb::sim::pages
