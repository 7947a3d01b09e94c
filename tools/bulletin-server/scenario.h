#pragma once
// Scripted reminder replies: what the simulator answers on /nc/tx.asp, step by
// step, including the faults a real server line shows now and then.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace lckb::sim {

// Group names of the eight channels, in reply line order.
inline constexpr const char *kChannelCaptions[8] = {
    "澜策政策", "澜策公司", "澜策资本", "澜内传真", "私募周报", "机构纪要", "标题速递", "题材速递",
};
inline constexpr int kChannelCount = 8;

struct Step
{
    enum class Kind {
        Reply,        // 200 with `body` as it stands
        Channel,      // the reply before it with line `channel` replaced by `body`
        Hang,         // accept the request, never answer
        Reset,        // drop the connection without a byte of answer
        Drip,         // `body` (empty: the reply before it) one byte every `delayMs`
        HtmlError,    // 200 with an HTML error page
        Status,       // status `status` with `body`
        Large,        // 200 with a body of `size` bytes, streamed
        BadGbk,       // 200 with eight lines holding byte sequences GBK lacks
        RedirectLoop, // 302 back to the reminder address, forever
    };

    Kind kind = Kind::Reply;
    QByteArray body;
    int status = 200;
    int delayMs = 0;
    qint64 size = 0;
    int channel = -1;
    int times = 1; // how many requests (or time steps) this step is served for

    static constexpr int kDefaultDripMs = 100;
    static constexpr qint64 kDefaultLargeSize = 50 * 1024 * 1024;

    // Lines joined with CR LF (none after the last), encoded to GBK.
    static Step reply(const QStringList &lines);
    static Step raw(const QByteArray &bytes);
    static Step channelLine(int channel, const QString &line);
    static Step hang();
    static Step reset();
    static Step drip(int delayMs = kDefaultDripMs, const QByteArray &bytes = {});
    static Step htmlError();
    static Step httpStatus(int status, const QString &body = {});
    static Step large(qint64 size = kDefaultLargeSize);
    static Step badGbk();
    static Step redirectLoop();

    bool operator==(const Step &o) const;
};

struct Scenario
{
    QList<Step> steps;
    int stepMs = 0; // 0: the next step on each request; else every stepMs, from loading
};

struct ParseError
{
    int line = 0; // 1-based; 0 when the problem is not tied to a line
    QString message;
};

// Reads the scenario file format (see README.md). On failure returns nothing
// and fills `error`.
std::optional<Scenario> parseScenario(const QString &text, ParseError *error = nullptr);

// One fault as given to --fault: "hang", "reset", "drip[:MS]", "html", "404",
// "500", "status:CODE", "large[:SIZE]", "badgbk", "redirect".
std::optional<Step> parseFault(const QString &text, QString *error = nullptr);

// "\r", "\n", "\t", "\\", "\xHH" become their bytes; other text is encoded to
// GBK. Returns nothing for a malformed escape.
std::optional<QByteArray> unescape(const QString &text);

// Sizes such as "4096", "64K", "50M" (binary multiples).
std::optional<qint64> parseSize(const QString &text);

// Default bodies of the status and error steps, GBK.
QByteArray defaultStatusBody(int status);
QByteArray htmlErrorBody();
QByteArray badGbkBody();

// The reply split into its CR LF separated lines, padded to eight.
QList<QByteArray> replyLines(const QByteArray &reply);
QByteArray joinReplyLines(const QList<QByteArray> &lines);

} // namespace lckb::sim
