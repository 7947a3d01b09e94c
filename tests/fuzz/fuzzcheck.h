#pragma once
// Checks for the fuzz targets. Under libFuzzer a failed check aborts, so the
// input is kept as a crash; in the replay test it throws, so the test can
// name the input and the check that failed.
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace lckb::fuzz {

// Unprintable characters (controls, private-use, surrogates), quotes and
// backslashes escaped, so a failure report shows exactly which text was
// compared.
inline std::string shown(const QString &s)
{
    std::string out = "\"";
    for (QChar c : s) {
        if (c == u'"' || c == u'\\' || !c.isPrint()) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04X", unsigned(c.unicode()));
            out += buf;
        } else {
            out += QString(c).toStdString();
        }
    }
    return out + "\"";
}

[[noreturn]] inline void failed(const char *check, const std::string &detail, const char *file, int line)
{
    std::string msg = std::string(file) + ":" + std::to_string(line) + ": check failed: " + check;
    if (!detail.empty())
        msg += "\n    " + detail;
#ifdef LCKB_FUZZ_REPLAY
    throw std::runtime_error(msg);
#else
    std::fprintf(stderr, "%s\n", msg.c_str());
    std::abort();
#endif
}

// True when `s` holds a surrogate that is not half of a pair.
inline bool hasLoneSurrogate(const QString &s)
{
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s.at(i).isHighSurrogate()) {
            if (i + 1 >= s.size() || !s.at(i + 1).isLowSurrogate())
                return true;
            ++i;
        } else if (s.at(i).isLowSurrogate()) {
            return true;
        }
    }
    return false;
}

// The target functions, one per fuzz target.
void replyTarget(const unsigned char *data, size_t size);
void settingsTarget(const unsigned char *data, size_t size);

} // namespace lckb::fuzz

#define FUZZ_CHECK_MSG(cond, detail)                                              \
    do {                                                                          \
        if (!(cond))                                                              \
            ::lckb::fuzz::failed(#cond, (detail), __FILE__, __LINE__);            \
    } while (false)
#define FUZZ_CHECK(cond) FUZZ_CHECK_MSG(cond, std::string())
