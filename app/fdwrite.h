#pragma once
// Writing a small file's bytes to an open descriptor, for the files the
// program replaces by write-and-rename.
#include <QByteArray>

namespace lckb {

// Writes all of `bytes` to `fd` (a short write or EINTR goes on) and syncs
// it to disk; false when either fails, so the caller never renames half a
// file over a whole one.
bool writeFullyAndSync(int fd, const QByteArray &bytes);

} // namespace lckb
