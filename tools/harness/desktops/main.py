"""scripts/desktops: the command line, the build, the rows one after the
other, the report."""
import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile

from . import __doc__ as DOC
from .report import print_checks, print_report
from .row import RowRun
from .rows import ROWS
from .session import BIN, ROOT


def ensure_built(no_build):
    needed = ["lckb", "lckb-sim", "lckb-sni-host", "lckb-notifyd"]
    if not no_build:
        subprocess.run([os.path.join(ROOT, "scripts", "deps"), "--desktops"], check=True)
        subprocess.run(["cmake", "-S", ROOT, "-B", os.path.join(ROOT, "build")], check=True,
                       stdout=subprocess.DEVNULL)
        subprocess.run(["cmake", "--build", os.path.join(ROOT, "build"), "-j2", "--target"] + needed, check=True,
                       stdout=subprocess.DEVNULL)
    missing = [n for n in needed if not os.access(os.path.join(BIN, n), os.X_OK)]
    if missing:
        sys.exit("desktops: not built: " + " ".join(missing))


def main():
    ap = argparse.ArgumentParser(description=DOC.split("\n")[0])
    ap.add_argument("--rows", help="comma-separated row names (default: all)")
    ap.add_argument("--list", action="store_true", help="list the rows and exit")
    ap.add_argument("--no-build", action="store_true", help="use build/bin as it is")
    ap.add_argument("--keep", action="store_true",
                    help="keep the rows' folders, logs and a screenshot of each pop-up (popup.png)")
    ap.add_argument("--lckb", metavar="FILE", help="run this lckb instead of build/bin/lckb (to compare builds)")
    ap.add_argument("-v", "--verbose", action="store_true")
    args = ap.parse_args()
    lckb = os.path.abspath(args.lckb) if args.lckb else None
    if args.list:
        for r in ROWS:
            print("%-19s %s" % (r.name, r.label))
        return 0
    rows = ROWS
    if args.rows:
        wanted = args.rows.split(",")
        rows = [r for r in ROWS if r.name in wanted]
        unknown = set(wanted) - {r.name for r in rows}
        if unknown:
            sys.exit("desktops: unknown rows: " + ", ".join(sorted(unknown)))
    ensure_built(args.no_build)

    top = tempfile.mkdtemp(prefix="lckb-desktops.")
    results, done = [], {}
    stopping = []

    def on_signal(sig, _):
        stopping.append(sig)
        raise KeyboardInterrupt

    signal.signal(signal.SIGTERM, on_signal)
    try:
        for row in rows:
            print("desktops: %s: %s" % (row.name, row.label), flush=True)
            rr = RowRun(row, os.path.join(top, row.name), args.verbose, done, shots=args.keep, lckb=lckb)
            try:
                res = rr.go()
            except KeyboardInterrupt:
                rr.res.fail("setup", "interrupted")
                res = rr.res
                raise
            except Exception as e:  # a broken row must not leave its processes behind
                rr.res.fail("setup", "%s: %s" % (type(e).__name__, e))
                res = rr.res
            finally:
                rr.stop()
            results.append(res)
            done[row.name] = res
            print_checks(res, args.verbose)
    except KeyboardInterrupt:
        print("desktops: interrupted", file=sys.stderr)
    finally:
        if not args.keep:
            shutil.rmtree(top, ignore_errors=True)

    failed = print_report(results, top if args.keep else None)
    return 1 if failed or stopping or len(results) < len(rows) else 0
