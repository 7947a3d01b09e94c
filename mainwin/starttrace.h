#pragma once
// Start-up trace for bench/run, off unless LCKB_TRACE names a file. Appends
// "<ms since process start> <event>" lines: start (main entered), tray-shown
// (the load step added the tray icon, then docked or no-tray), page-loaded
// (first loadFinished of the main page, then ok or failed), login-filled (the
// first run of the login fill, then set=<fields filled>) and poll (each
// finished poll, then its outcome). Time counts from the kernel's start time
// of the process, so the loading of the libraries before main counts too;
// bench/reference uses the same clock.
#include <QByteArray>

namespace lckb {

class Program;

// Opens the trace (when asked for) and notes "start".
void startTrace();
void trace(const char *event, const QByteArray &detail = {});
// Follows the program's first page load, first login fill, tray icon and every poll.
void traceProgram(Program &program);

} // namespace lckb
