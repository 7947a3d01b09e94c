"""The default measurements: CPU per poll cycle, starts of lckb and the
reference (time to the page, tray before page, memory), and both side by
side for an idle window (CPU, PSS).
"""
import os
import re
import statistics
import subprocess
import time

from .programs import BIN, Run, log
from .readings import TICK, alone_kib, pss_by_kind, snapshot


def pollcycle(repeats):
    """Median over `repeats` runs of each row: (cpu us, wall ms)."""
    rows = {}
    for i in range(repeats):
        out = subprocess.run([str(BIN / "lckb-bench-pollcycle")], capture_output=True, text=True)
        if out.returncode != 0:
            raise SystemExit("bench: lckb-bench-pollcycle failed:\n" + out.stdout[-3000:] + out.stderr[-2000:])
        for tag, us in re.findall(r"cpu per cycle \[([^\]]+)\]: ([\d.]+) us", out.stdout):
            rows.setdefault(tag, ([], []))[0].append(float(us))
        for tag, ms in re.findall(r'RESULT : PollCycle::cycle\(\):"([^"]+)":\s+([\d.]+) msecs', out.stdout):
            rows.setdefault(tag, ([], []))[1].append(float(ms))
    return {tag: (statistics.median(c), statistics.median(w) if w else float("nan")) for tag, (c, w) in rows.items()}


def startup(scratch, displays, hosts, runs, settle):
    """Interleaved starts, ours then the reference, `runs` times. Per run:
    ms to page loaded, tray before page, PSS and its split `settle` s later."""
    res = {"ours": [], "ref": []}
    for i in range(runs):
        for which in ("ours", "ref"):
            r = Run(which, scratch, displays[which], hosts)
            page_ms, _ = r.wait_for("page-loaded")
            time.sleep(settle)
            snap = snapshot(r.p.pid)
            alone = alone_kib(list(snap))
            ev, _ = r.events()
            res[which].append({
                "page": page_ms,
                "start": ev.get("start", (None, ""))[0],
                "tray": ev.get("tray-shown"),
                "fill": ev.get("login-filled"),
                "pss": sum(v[2] for v in snap.values()),
                "alone": alone,
                "pss_by_kind": pss_by_kind(snap),
                "procs": len(snap),
            })
            r.stop()
            log(f"start {i + 1}/{runs} {which}: page loaded at {page_ms} ms; "
                f"PSS {sum(v[2] for v in snap.values()) / 1024:.0f} MiB, alone {(alone or 0) / 1024:.0f} MiB "
                f"in {len(snap)} processes")
    return res


def idle(scratch, displays, hosts, seconds, settle):
    """Both programs at once, each on its own screen; CPU and PSS of each tree
    over `seconds`, from `settle` s after both pages loaded."""
    runs = {w: Run(w, scratch, displays[w], hosts) for w in ("ours", "ref")}
    for r in runs.values():
        r.wait_for("page-loaded")
    time.sleep(settle)
    t0 = time.monotonic()
    polls0 = {w: len(r.events()[1]) for w, r in runs.items()}
    before = {w: snapshot(r.p.pid) for w, r in runs.items()}
    alone_before = {w: alone_kib(list(before[w])) for w in runs}
    load0 = os.getloadavg()
    left = seconds
    while left > 0:
        time.sleep(min(left, 30))
        left = seconds - (time.monotonic() - t0)
        for w, r in runs.items():
            if r.p.poll() is not None:
                raise SystemExit(f"bench: {w} ended during the idle measurement (exit {r.p.poll()})")
    after = {w: snapshot(r.p.pid) for w, r in runs.items()}
    alone_after = {w: alone_kib(list(after[w])) for w in runs}
    elapsed = time.monotonic() - t0
    res = {}
    for w, r in runs.items():
        b, a = before[w], after[w]
        common = set(a) & set(b)
        ticks = sum(a[p][1] - b[p][1] for p in common) + sum(a[p][1] for p in set(a) - set(b))
        kinds = {}
        for p in a:
            kinds[a[p][0]] = kinds.get(a[p][0], 0) + a[p][1] - (b[p][1] if p in b else 0)
        _, polls = r.events()
        res[w] = {
            "cpu_pct": 100.0 * ticks / TICK / elapsed,
            "cpu_s_by_kind": {k: v / TICK for k, v in kinds.items()},
            "pss_before": sum(v[2] for v in b.values()),
            "pss_after": sum(v[2] for v in a.values()),
            "alone_before": alone_before[w],
            "alone_after": alone_after[w],
            "procs_changed": set(a) != set(b),
            "polls": len(polls) - polls0[w],
            "poll_kinds": sorted({d for _, d in polls[polls0[w]:]}),
        }
    for r in runs.values():
        r.stop()
    res["seconds"] = elapsed
    res["load"] = (load0, os.getloadavg())
    return res
