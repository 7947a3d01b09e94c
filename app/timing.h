#pragma once
// The program's default timings, each defined once.

namespace lckb {

// Between two reminder polls (--poll-interval changes it).
inline constexpr int kPollIntervalMs = 30000;
// The time limit of one page fetch: half the poll interval, so a poll that
// runs into the limit is over well before the next one is due.
inline constexpr int kFetchLimitMs = kPollIntervalMs / 2;

// A service page out of sight rests: frozen after the grace, discarded after
// the longer time (--rest-after changes it).
inline constexpr int kRestGraceMs = 5000;
inline constexpr int kRestAfterMs = 600 * 1000;

} // namespace lckb
