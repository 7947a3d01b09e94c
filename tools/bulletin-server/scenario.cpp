#include "scenario.h"

#include "app/gbk.h"

#include <QRegularExpression>

namespace lckb::sim {

Step Step::reply(const QStringList &lines)
{
    return raw(encodeGbk(lines.join(QStringLiteral("\r\n"))));
}

namespace {
// A step of `kind` with `body`; the other fields as a plain reply has them.
Step stepOf(Step::Kind kind, const QByteArray &body = {})
{
    Step s;
    s.kind = kind;
    s.body = body;
    return s;
}
} // namespace

Step Step::raw(const QByteArray &bytes) { return stepOf(Kind::Reply, bytes); }

Step Step::channelLine(int channel, const QString &line)
{
    Step s = stepOf(Kind::Channel, encodeGbk(line));
    s.channel = channel;
    return s;
}

Step Step::hang() { return stepOf(Kind::Hang); }

Step Step::reset() { return stepOf(Kind::Reset); }

Step Step::drip(int delayMs, const QByteArray &bytes)
{
    Step s = stepOf(Kind::Drip, bytes);
    s.delayMs = delayMs;
    return s;
}

Step Step::htmlError() { return stepOf(Kind::HtmlError, htmlErrorBody()); }

Step Step::httpStatus(int status, const QString &body)
{
    Step s = stepOf(Kind::Status, body.isEmpty() ? defaultStatusBody(status) : encodeGbk(body));
    s.status = status;
    return s;
}

Step Step::large(qint64 size)
{
    Step s = stepOf(Kind::Large);
    s.size = size;
    return s;
}

Step Step::badGbk() { return stepOf(Kind::BadGbk, badGbkBody()); }

Step Step::redirectLoop()
{
    Step s = stepOf(Kind::RedirectLoop);
    s.status = 302;
    return s;
}

bool Step::operator==(const Step &o) const
{
    return kind == o.kind && body == o.body && status == o.status && delayMs == o.delayMs
        && size == o.size && channel == o.channel && times == o.times;
}

QByteArray defaultStatusBody(int status)
{
    switch (status) {
    case 404:
        return encodeGbk(QStringLiteral("404 找不到该页面"));
    case 500:
        return encodeGbk(QStringLiteral("500 服务器内部错误"));
    default:
        return encodeGbk(QString::number(status) + QStringLiteral(" 服务器错误"));
    }
}

QByteArray htmlErrorBody()
{
    return encodeGbk(QStringLiteral(
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\">"
        "<title>服务器忙</title></head>\r\n"
        "<body><h1>服务器忙，请稍后再试</h1><p>错误代码 ASP 0113</p></body></html>\r\n"));
}

QByteArray badGbkBody()
{
    // Each line carries a different kind of damage: bytes that start nothing,
    // a lead byte followed by a byte that cannot trail it (one of them the
    // field separator), a broken four-byte sequence; the body ends on a lone
    // lead byte.
    static const char *const damage[kChannelCount] = {
        "\xFF", "\x81\x20", "\xA1\x7F", "\xFE\xFF", "\x81\x30\x20", "\xB0", "\xFF\xFF", "",
    };
    QList<QByteArray> lines;
    for (int k = 0; k < kChannelCount; ++k) {
        const QByteArray id = QByteArray::number(9001 + k);
        lines << id + ',' + encodeGbk(QStringLiteral("坏字节快报")) + damage[k] + ','
                + encodeGbk(QString::fromUtf8(kChannelCaptions[k])) + ",/nc/show.asp?id=" + id;
    }
    return joinReplyLines(lines) + "\xB0";
}

QList<QByteArray> replyLines(const QByteArray &reply)
{
    QList<QByteArray> lines;
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = reply.indexOf("\r\n", from);
        if (at < 0) {
            lines << reply.mid(from);
            break;
        }
        lines << reply.mid(from, at - from);
        from = at + 2;
    }
    if (reply.isEmpty())
        lines.clear();
    while (lines.size() < kChannelCount)
        lines << QByteArray();
    return lines;
}

QByteArray joinReplyLines(const QList<QByteArray> &lines)
{
    return lines.join("\r\n");
}

std::optional<QByteArray> unescape(const QString &text)
{
    QByteArray out;
    QString plain;
    auto flush = [&] {
        out += encodeGbk(plain);
        plain.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != u'\\') {
            plain += c;
            continue;
        }
        if (++i >= text.size())
            return std::nullopt;
        flush();
        switch (text.at(i).unicode()) {
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case '\\': out += '\\'; break;
        case 'x': {
            const QString hex = text.mid(i + 1, 2);
            static const QRegularExpression twoHex(QStringLiteral("^[0-9A-Fa-f]{2}$"));
            if (!twoHex.match(hex).hasMatch())
                return std::nullopt;
            out += char(hex.toUInt(nullptr, 16));
            i += 2;
            break;
        }
        default:
            return std::nullopt;
        }
    }
    flush();
    return out;
}

std::optional<qint64> parseSize(const QString &text)
{
    static const QRegularExpression re(QStringLiteral("^(\\d+)([KkMm]?)$"));
    const auto m = re.match(text.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    bool ok = false;
    qint64 n = m.captured(1).toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    const QString unit = m.captured(2).toUpper();
    if (unit == u"K")
        n *= 1024;
    else if (unit == u"M")
        n *= 1024 * 1024;
    return n;
}

namespace {

// Builds the step named `word` from the rest of its line; nothing (with
// `error` set) when the words make no step.
std::optional<Step> makeStep(const QString &word, const QString &rest, QString *error)
{
    auto fail = [error](const QString &why) -> std::optional<Step> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    auto noArgs = [&](const Step &s) -> std::optional<Step> {
        if (!rest.isEmpty())
            return fail(QStringLiteral("'%1' takes no argument").arg(word));
        return s;
    };
    auto bytesOf = [&](const QString &t) -> std::optional<QByteArray> {
        auto b = unescape(t);
        if (!b)
            fail(QStringLiteral("bad escape in '%1'").arg(t));
        return b;
    };

    if (word == u"raw") {
        auto b = bytesOf(rest);
        return b ? std::optional<Step>(Step::raw(*b)) : std::nullopt;
    }
    if (word == u"empty")
        return noArgs(Step::raw({}));
    if (word == u"channel") {
        const QString first = rest.section(QLatin1Char(' '), 0, 0);
        bool ok = false;
        const int k = first.toInt(&ok);
        if (!ok || k < 0 || k >= kChannelCount)
            return fail(QStringLiteral("channel needs a number 0..7"));
        auto b = bytesOf(rest.mid(first.size()).trimmed());
        if (!b)
            return std::nullopt;
        Step s = Step::channelLine(k, {});
        s.body = *b;
        return s;
    }
    if (word == u"hang")
        return noArgs(Step::hang());
    if (word == u"reset")
        return noArgs(Step::reset());
    if (word == u"html")
        return noArgs(Step::htmlError());
    if (word == u"badgbk")
        return noArgs(Step::badGbk());
    if (word == u"redirect")
        return noArgs(Step::redirectLoop());
    if (word == u"drip") {
        if (rest.isEmpty())
            return Step::drip();
        bool ok = false;
        const int ms = rest.toInt(&ok);
        if (!ok || ms < 0)
            return fail(QStringLiteral("drip needs a delay in milliseconds"));
        return Step::drip(ms);
    }
    if (word == u"large") {
        if (rest.isEmpty())
            return Step::large();
        const auto n = parseSize(rest);
        if (!n)
            return fail(QStringLiteral("large needs a size such as 4096, 64K or 50M"));
        return Step::large(*n);
    }
    if (word == u"status") {
        const QString first = rest.section(QLatin1Char(' '), 0, 0);
        bool ok = false;
        const int code = first.toInt(&ok);
        if (!ok || code < 100 || code > 599)
            return fail(QStringLiteral("status needs a code 100..599"));
        Step s = Step::httpStatus(code);
        const QString text = rest.mid(first.size()).trimmed();
        if (!text.isEmpty()) {
            auto b = bytesOf(text);
            if (!b)
                return std::nullopt;
            s.body = *b;
        }
        return s;
    }
    return fail(QStringLiteral("unknown step '%1'").arg(word));
}

} // namespace

std::optional<Scenario> parseScenario(const QString &text, ParseError *error)
{
    Scenario sc;
    // Editors on other systems like to start UTF-8 files with a byte order mark.
    const QStringList lines =
        (text.startsWith(QChar(0xFEFF)) ? text.mid(1) : text).split(QLatin1Char('\n'));
    auto fail = [&](int line, const QString &why) -> std::optional<Scenario> {
        if (error)
            *error = {line, why};
        return std::nullopt;
    };

    for (int i = 0; i < lines.size(); ++i) {
        const int lineNo = i + 1;
        const QString t = lines.at(i).trimmed();
        if (t.isEmpty() || t.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype blank = t.indexOf(QRegularExpression(QStringLiteral("\\s")));
        const QString word = blank < 0 ? t : t.left(blank);
        const QString rest = blank < 0 ? QString() : t.mid(blank).trimmed();

        if (word == u"advance") {
            if (rest == u"request") {
                sc.stepMs = 0;
                continue;
            }
            bool ok = false;
            const double seconds = rest.toDouble(&ok);
            if (!ok || seconds <= 0)
                return fail(lineNo, QStringLiteral("advance needs 'request' or seconds > 0"));
            sc.stepMs = qMax(1, qRound(seconds * 1000));
            continue;
        }
        if (word == u"times") {
            bool ok = false;
            const int n = rest.toInt(&ok);
            if (sc.steps.isEmpty())
                return fail(lineNo, QStringLiteral("'times' follows the step it repeats"));
            if (!ok || n < 1)
                return fail(lineNo, QStringLiteral("times needs a count >= 1"));
            sc.steps.last().times = n;
            continue;
        }
        if (word == u"reply") {
            if (!rest.isEmpty())
                return fail(lineNo, QStringLiteral("'reply' stands alone; its lines follow"));
            QList<QByteArray> body;
            int j = i + 1;
            for (; j < lines.size(); ++j) {
                QString l = lines.at(j);
                if (l.endsWith(QLatin1Char('\r')))
                    l.chop(1);
                if (l.trimmed() == u"end")
                    break;
                auto b = unescape(l);
                if (!b)
                    return fail(j + 1, QStringLiteral("bad escape"));
                body << *b;
            }
            if (j >= lines.size())
                return fail(lineNo, QStringLiteral("'reply' without 'end'"));
            sc.steps << Step::raw(joinReplyLines(body));
            i = j;
            continue;
        }
        QString why;
        auto step = makeStep(word, rest, &why);
        if (!step)
            return fail(lineNo, why);
        sc.steps << *step;
    }
    if (sc.steps.isEmpty())
        return fail(0, QStringLiteral("no steps"));
    return sc;
}

std::optional<Step> parseFault(const QString &text, QString *error)
{
    const QString word = text.section(QLatin1Char(':'), 0, 0).trimmed();
    const QString arg = text.section(QLatin1Char(':'), 1).trimmed();
    if (word == u"404" || word == u"500")
        return makeStep(QStringLiteral("status"), word, error);
    if (word == u"raw" || word == u"channel" || word == u"empty") {
        if (error)
            *error = QStringLiteral("'%1' is a reply, not a fault").arg(word);
        return std::nullopt;
    }
    return makeStep(word, arg, error);
}

} // namespace lckb::sim
