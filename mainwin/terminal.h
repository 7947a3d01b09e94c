#pragma once
// What the program says on the terminal it was started from.
#include "app/options.h"

#include <QString>

namespace lckb {

// Qt's and the browser engine's reports are for developers: the GL set-up,
// a missing sound server, the sandbox. From now on the terminal sees only
// what goes wrong for real; not called when --verbose or LCKB_DEBUG=1 asks
// for everything.
void keepTerminalQuiet();
// What options that end the start ask to be said: --help and --version on
// standard output, what is wrong with them on standard error. The exit code:
// 0, or 2 for options that are wrong.
int answerOptions(const Options &options);
// One line on standard error, "lckb: " first.
void complain(const QString &line);

} // namespace lckb
