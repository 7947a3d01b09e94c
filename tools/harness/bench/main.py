"""bench/run: the command line, the build, the measurements, the report."""
import argparse
import datetime
import os
import signal
import subprocess
import sys
import time

from . import __doc__ as DOC_TEXT
from .measure import at_rest, idle, pollcycle, startup
from .programs import BUILD, ROOT, log, scratch_folder, screen, sh, simulator
from .realtime import realtime_main
from .report import DOC, machine, print_tables, render, write_doc
from .rows import table


def main():
    ap = argparse.ArgumentParser(description=DOC_TEXT.split("\n")[0])
    ap.add_argument("--idle-seconds", type=float, default=300, help="length of the idle window (default 300)")
    ap.add_argument("--runs", type=int, default=7, help="starts of each program (default 7)")
    ap.add_argument("--settle", type=float, default=5,
                    help="seconds after the page loaded before the memory sample (default 5)")
    ap.add_argument("--idle-settle", type=float, default=20,
                    help="seconds after the pages loaded before the idle window opens (default 20)")
    ap.add_argument("--poll-repeats", type=int, default=3, help="runs of the poll-cycle benchmark (default 3)")
    ap.add_argument("--rest-after", type=float, default=20, metavar="S",
                    help="lckb's --rest-after for the rows of a client at rest (default 20)")
    ap.add_argument("--hidden-cpu-seconds", type=float, default=120, metavar="N",
                    help="length of the CPU window of a --tray client (default 120)")
    ap.add_argument("--no-rest", action="store_true", help="leave out the rows of a client at rest")
    ap.add_argument("--no-build", action="store_true", help="use what build-bench/ holds")
    ap.add_argument("--no-doc", action="store_true", help="leave docs/performance.md alone")
    ap.add_argument("--keep", action="store_true", help="keep the scratch folder (traces, logs)")
    rt = ap.add_argument_group("memory over real time (replaces the measurements above)")
    rt.add_argument("--real-minutes", type=float, nargs="?", const=60, metavar="N",
                    help="run lckb with and without a remembered login and the reference side by side for N "
                         "minutes (60 when N is left out) and give the growth of every process")
    rt.add_argument("--warmup", type=float, default=20, help="minutes left out of the slopes (default 20)")
    rt.add_argument("--sample-seconds", type=float, default=60, help="time between two samples (default 60)")
    rt.add_argument("--poll", type=float, default=3, help="lckb's --poll-interval in seconds (default 3)")
    rt.add_argument("--sim-interval", type=float, default=7,
                    help="a new bulletin in the simulator every so many seconds (default 7)")
    rt.add_argument("--label", help="name of the table in docs/performance.md (e.g. before, after); "
                                    "without it the file is left alone")
    rt.add_argument("--samples", metavar="FILE", help="also write every sample to FILE (CSV)")
    rt.add_argument("--gc-minutes", type=float, default=0, metavar="M",
                    help="add a third client with a login, in view, started with --js-flags=--expose-gc, "
                         "whose page gets gc() every M minutes (through DevTools); 0, the default: none")
    args = ap.parse_args()

    t_start = time.monotonic()
    started_at = datetime.datetime.now()
    os.chdir(ROOT)
    loads = [os.getloadavg()]
    log(f"load average {loads[0][0]:.2f} {loads[0][1]:.2f} {loads[0][2]:.2f} on {os.cpu_count()} cores")

    if not args.no_build:
        sh(["scripts/deps"])
        sh(["cmake", "-S", ".", "-B", str(BUILD), "-DCMAKE_BUILD_TYPE=Release", "-DBUILD_TESTING=OFF"],
           stdout=subprocess.DEVNULL)
        targets = ["lckb", "lckb-sim", "lckb-bench-reference"]
        if args.real_minutes is None:
            targets.append("lckb-bench-pollcycle")
        sh(["cmake", "--build", str(BUILD), "-j", str(os.cpu_count() or 2), "--target", *targets])

    for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(sig, lambda *_: sys.exit(130))
    if args.real_minutes is not None:
        return realtime_main(args)

    with scratch_folder("lckb-bench.", args.keep) as scratch:
        log("poll cycle")
        poll = pollcycle(args.poll_repeats)
        hosts = simulator(scratch)
        log(f"simulator on {', '.join(hosts)}")
        displays = {"ours": screen(scratch), "ref": screen(scratch)}
        log(f"screens {displays['ours']} (lckb) and {displays['ref']} (reference)")
        st = startup(scratch, displays, hosts, args.runs, args.settle) if args.runs > 0 else None
        loads.append(os.getloadavg())
        idl = None
        if args.idle_seconds > 0:
            log(f"idle window of {args.idle_seconds:g} s, both programs side by side")
            idl = idle(scratch, displays, hosts, args.idle_seconds, args.idle_settle)
        rest = None
        if not args.no_rest:
            log("a client at rest: --tray, --rest-after, pop-up clicks")
            rest = at_rest(scratch, hosts, args.hidden_cpu_seconds, args.rest_after)
        loads.append(os.getloadavg())

    duration = time.monotonic() - t_start
    rows = table(poll, st, idl, args, rest)
    text, md, mach_lines, details = render(rows, machine(), poll, st, idl, args, started_at, duration, loads, rest)
    print_tables(text, mach_lines, details)
    if not args.no_doc:
        write_doc(md, mach_lines, details)
        log(f"table written to {DOC.relative_to(ROOT)}")
    return 1 if any(r[3] == "FAIL" for r in rows) else 0
