// Fuzz target: two reminder replies as the server might send them, through
// the decoder, the reply tests and the announcement plan.
//
// Input: byte 0 holds the switches (bit 0 reminder, bit 1 sound, bits 2-3 the
// server line), byte 1 the channel boxes (bit k = channel k), then the
// baseline reply, a NUL, and the latest reply.
#include "fuzzcheck.h"
#include "app/gbk.h"
#include "app/pagefetch.h"
#include "reminder/replyplan.h"
#include "reminder/replystore.h"

#include <QByteArray>
#include <QList>
#include <QUrl>
#include <array>

namespace lckb::fuzz {
namespace {

// Base addresses of the shapes makeServerLines produces.
const std::array<const char *, 4> kBases = {
    "http://127.0.0.1:8080",
    "http://lc.example.com",
    "http://[::1]:803",
    "http://a-b.example.net:65535",
};

QString decodeChecked(const QByteArray &bytes)
{
    bool ok = false;
    const QString text = decodeText(bytes, QStringLiteral("GB2312"), &ok);
    FUZZ_CHECK(ok);
    FUZZ_CHECK(text == decodeGbk(bytes));
    FUZZ_CHECK_MSG(!hasLoneSurrogate(text), shown(text));
    // One byte never turns into more than one UTF-16 unit: a four-byte
    // sequence gives at most a surrogate pair.
    FUZZ_CHECK(text.size() <= bytes.size());
    bool ascii = true;
    for (char c : bytes)
        ascii = ascii && uchar(c) < 0x80;
    if (ascii)
        FUZZ_CHECK(text == QString::fromLatin1(bytes));
    // Whatever was decoded is written back to the same text: U+FFFD and the
    // characters code page 936 lacks as four-byte sequences.
    const QString again = decodeGbk(encodeGbk(text));
    FUZZ_CHECK_MSG(again == text, shown(text) + " came back as " + shown(again));
    return text;
}

void checkClassification(const QString &reply, const QString &bak)
{
    const PollOutcome o = classifyReply(reply, bak);
    const bool markup = reply.contains(u'<') && reply.contains(u'>');
    FUZZ_CHECK(o == PollOutcome::Markup || o == PollOutcome::Empty || o == PollOutcome::Unchanged
               || o == PollOutcome::Compared);
    FUZZ_CHECK((o == PollOutcome::Markup) == markup);
    if (o == PollOutcome::Compared)
        FUZZ_CHECK(!reply.isEmpty() && !bak.isEmpty() && reply != bak);
    if (o == PollOutcome::Unchanged)
        FUZZ_CHECK(!reply.isEmpty() && (bak.isEmpty() || reply == bak));
}

void checkPlan(const QString &bak, const QString &tmp, uchar switches, uchar boxes)
{
    const bool reminderOn = switches & 1;
    const bool soundOn = switches & 2;
    const QString base = QString::fromLatin1(kBases[(switches >> 2) & 3]);
    const QString appDir = QStringLiteral("/opt/lckb/");
    const QUrl baseUrl(base);

    PlanSwitches on{reminderOn, soundOn, {}};
    for (int k = 0; k < 8; ++k)
        on.channels[size_t(k)] = (boxes >> k) & 1;
    const QList<Bulletin> plan = planAnnouncements(bak, tmp, base, on, appDir);
    FUZZ_CHECK(plan.size() <= 8);

    const QStringList bakLines = bak.split(QStringLiteral("\r\n"));
    const QStringList tmpLines = tmp.split(QStringLiteral("\r\n"));
    // The comparison reads only the first lines; they must be the same lines.
    FUZZ_CHECK(ReplyStore::firstLines(bak, 8) == bakLines.mid(0, 8));
    FUZZ_CHECK(ReplyStore::firstLines(tmp, 9) == tmpLines.mid(0, 9));
    int last = -1;
    qsizetype next = 0;
    for (int k = 0; k < 8; ++k) {
        const QString was = bakLines.value(k), now = tmpLines.value(k);
        const bool due = reminderOn && ((boxes >> k) & 1) && !was.isEmpty() && !now.isEmpty() && was != now;
        const bool planned = next < plan.size() && plan.at(next).channel == k;
        FUZZ_CHECK_MSG(due == planned, "channel " + std::to_string(k) + ": " + shown(was) + " -> " + shown(now));
        if (!planned)
            continue;
        const Bulletin &a = plan.at(next++);
        FUZZ_CHECK(a.channel > last);
        last = a.channel;

        FUZZ_CHECK(a.sound == (soundOn ? appDir + (k < 4 ? "ts.wav" : "ts1.wav") : QString()));
        if (a.url.isEmpty()) {
            FUZZ_CHECK(a.group.isEmpty() && a.title.isEmpty() && !a.popup);
            continue;
        }
        // The item shown is the one that arrived, on the latest line; a long
        // title or group is cut short, never in the middle of a character.
        const QStringList f = now.split(u',');
        FUZZ_CHECK(f.size() >= 4);
        const auto shownAs = [](const QString &field, const QString &s) {
            if (field.size() <= kMaxFieldLength)
                return s == field;
            return s.size() <= kMaxFieldLength && s.endsWith(QChar(0x2026)) && field.startsWith(s.chopped(1))
                   && !s.chopped(1).back().isHighSurrogate();
        };
        FUZZ_CHECK(shownAs(f.at(1), a.title) && shownAs(f.at(2), a.group));
        // The address stays on the server line: the base, exactly one slash,
        // and nothing that a URL parser could take for another authority.
        FUZZ_CHECK_MSG(a.url.startsWith(base + u'/'), shown(a.url));
        const QChar after = a.url.size() > base.size() + 1 ? a.url.at(base.size() + 1) : QChar();
        FUZZ_CHECK_MSG(after != u'/' && after != u'\\', shown(a.url));
        FUZZ_CHECK(a.url.mid(base.size()) == f.at(3));
        const QUrl url(a.url);
        FUZZ_CHECK_MSG(url.isValid(), shown(a.url) + ": " + url.errorString().toStdString());
        FUZZ_CHECK_MSG(url.scheme() == u"http" && url.userInfo().isEmpty() && url.host() == baseUrl.host()
                           && url.port() == baseUrl.port(),
                       shown(a.url) + " parsed as " + shown(url.toString()));
    }
    FUZZ_CHECK(next == plan.size());
}

} // namespace

void replyTarget(const unsigned char *data, size_t size)
{
    if (size < 2)
        return;
    const uchar switches = data[0], boxes = data[1];
    const QByteArray rest(reinterpret_cast<const char *>(data) + 2, qsizetype(size - 2));
    const qsizetype sep = rest.indexOf('\0');
    const QString bak = decodeChecked(sep < 0 ? rest : rest.left(sep));
    const QString tmp = decodeChecked(sep < 0 ? QByteArray() : rest.mid(sep + 1));

    checkClassification(bak, QString());
    checkClassification(tmp, bak);
    checkPlan(bak, tmp, switches, boxes);
}

} // namespace lckb::fuzz
