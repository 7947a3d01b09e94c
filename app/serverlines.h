#pragma once
// The service's server lines and the line in use.
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

namespace lckb {

// The four base addresses of the service's server ("lines"): scheme http, a
// host, an optional port, no trailing "/". Entry 3 is entry 0's host on port
// 803, whatever entry 0's own port is.
inline constexpr int kLineCount = 4;
using ServerLines = std::array<QString, kLineCount>;

inline constexpr const char *kDefaultHosts[3] = {"line1.example.com", "line2.example.com",
                                                 "line3.example.com"};

// Fills the table from three "host[:port]" entries. Returns nothing when an
// entry is not a plain host (with an optional port).
std::optional<ServerLines> makeServerLines(const QStringList &hosts);
// Whether one entry is a plain host with an optional port (blanks around it
// do not count).
bool isHostEntry(const QString &entry);
ServerLines defaultServerLines();

// The line index as the settings file stores it: the leading decimal number
// of the text (0 when there is none), rounded to the nearest integer with
// halves going to the even neighbour.
int parseLineIndex(const QString &stored);

// An index the table has no entry for falls back to line 0.
int validLineIndex(int index);

// The line chosen last time: key xianlu of section config in `profilePath`,
// line 0 when it is absent or names no line.
int storedLineIndex(const QString &profilePath);

} // namespace lckb
