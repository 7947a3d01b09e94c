"""--real-minutes: memory over real time. Several clients side by side
against one live simulator, their main windows kept as each run wants
them, every process sampled; least-squares slopes after a warm-up.
"""
import datetime
import os
import re
import subprocess
import threading
import time

from .devtools import DevToolsGc
from .programs import Run, free_port, log, scratch_folder, screen, simulator
from .readings import kind, mem_kib, proc_stat, renderer_rss, tree
from .report import DOC, ROOT, git_head, machine, print_tables, realtime_doc, realtime_render
from .rows import RT_GC, RT_PROGRAMS, RT_SLOPE_KIB, verdict


def slope(points):
    """Least-squares slope of (x, y) points; None with fewer than three."""
    if len(points) < 3:
        return None
    mx = sum(x for x, _ in points) / len(points)
    my = sum(y for _, y in points) / len(points)
    sxx = sum((x - mx) ** 2 for x, _ in points)
    if sxx == 0:
        return None
    return sum((x - mx) * (y - my) for x, y in points) / sxx


def x11(display, *cmd):
    r = subprocess.run(cmd, env=dict(os.environ, DISPLAY=display), capture_output=True, text=True, timeout=10)
    return r.stdout if r.returncode == 0 else ""


POPUP_CAPTION = "有新信息，请注意查看！"  # every pop-up's title


def main_window(display, pid):
    """The main window of `pid` on `display`: of its windows the window
    manager lists, the largest that is not a pop-up (a pop-up can be the
    largest while the main window is still small or unmapped)."""
    best = None
    for line in x11(display, "wmctrl", "-lpG").splitlines():
        f = line.split(None, 7)  # id, desktop, pid, x, y, w, h, "host title"
        if len(f) >= 7 and f[2] == str(pid) and not (len(f) == 8 and f[7].endswith(POPUP_CAPTION)):
            area = int(f[5]) * int(f[6])
            if best is None or area > best[0]:
                best = (area, int(f[0], 16))
    return best[1] if best else None


def window_state(display, wid):
    """(shown, active) of a window: shown when not minimised (iconic)."""
    state = x11(display, "xprop", "-id", str(wid), "_NET_WM_STATE")
    active = re.search(r"window id # (0x[0-9a-f]+)", x11(display, "xprop", "-root", "_NET_ACTIVE_WINDOW"))
    return "_NET_WM_STATE_HIDDEN" not in state, bool(active) and int(active.group(1), 16) == wid


class WindowKeeper(threading.Thread):
    """Keeps each client's main window as its run wants it, checking every
    `period` s: "view" active and in view (re-activated when a pop-up or
    anything else took it away), "min" minimised. Counts the checks that found
    it as wanted, and the corrections."""

    def __init__(self, targets, period=1.0):
        super().__init__(daemon=True)
        self.targets = targets  # [(tag, display, pid, want)]
        self.period = period
        self.halt = threading.Event()
        self.wid = {}
        self.checks = {t[0]: 0 for t in targets}
        self.as_wanted = {t[0]: 0 for t in targets}
        self.fixes = {t[0]: 0 for t in targets}

    def step(self):
        for tag, display, pid, want in self.targets:
            wid = self.wid.get(tag) or main_window(display, pid)
            if wid is None:
                continue
            self.wid[tag] = wid
            shown, active = window_state(display, wid)
            self.checks[tag] += 1
            if want == "view" and not (shown and active):
                x11(display, "xdotool", "windowactivate", str(wid))
                self.fixes[tag] += 1
            elif want == "min" and shown:
                x11(display, "xdotool", "windowminimize", str(wid))
                self.fixes[tag] += 1
            else:
                self.as_wanted[tag] += 1

    def run(self):
        while not self.halt.wait(self.period):
            try:
                self.step()
            except (OSError, ValueError, subprocess.SubprocessError):
                pass

    def settle(self, timeout=30.0):
        """Until every window is as wanted (the first checks)."""
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            self.step()
            ok = True
            for tag, display, pid, want in self.targets:
                wid = self.wid.get(tag)
                shown, active = window_state(display, wid) if wid else (None, None)
                ok &= wid is not None and ((shown and active) if want == "view" else not shown)
            if ok:
                break
            time.sleep(0.5)
        for k in self.checks:
            self.checks[k] = self.as_wanted[k] = self.fixes[k] = 0


def realtime(scratch, hosts, args, samples_csv):
    """lckb with a remembered login twice, its main window kept in view on a
    screen of its own and kept minimised on another, lckb without a login and
    the reference beside the minimised one; with --gc-minutes a third client
    with a login, in view on a third screen, whose page gets gc() every so
    many minutes. Every screen has openbox and a tray host; one live
    simulator serves all. Samples every process of each tree every
    --sample-seconds for --real-minutes, counted from the moment all pages
    loaded. Returns {tag: {pid: {"kind", "pts": [(minute, rss, pss, private,
    cpu ticks)]}}}, the runs, the programs, the keeper and the gc caller."""
    programs = list(RT_PROGRAMS) + ([RT_GC] if args.gc_minutes else [])
    rest = screen(scratch, wm=True)
    displays = {"lckb-view": screen(scratch, wm=True), "lckb-min": rest, "lckb-nologin": rest, "reference": rest}
    if args.gc_minutes:
        displays["lckb-view-gc"] = screen(scratch, wm=True)
    log("screens with openbox and trayer: " + ", ".join(f"{t} {d}" for t, d in displays.items()))
    poll = ["--poll-interval", f"{args.poll:g}"]
    runs = {}
    for tag, name, want, gated in programs:
        if tag == "reference":
            runs[tag] = Run("ref", scratch, displays[tag], hosts, tag=tag)
        elif tag == "lckb-view-gc":
            port = free_port()
            runs[tag] = Run("ours", scratch, displays[tag], hosts, login=True, args=poll, tag=tag,
                            chromium_extra="--js-flags=--expose-gc",
                            env_extra={"QTWEBENGINE_REMOTE_DEBUGGING": f"127.0.0.1:{port}"})
            runs[tag].devtools_port = port
        else:
            runs[tag] = Run("ours", scratch, displays[tag], hosts, login=tag != "lckb-nologin", args=poll, tag=tag)
    for r in runs.values():
        r.wait_for("page-loaded")
    keeper = WindowKeeper([(tag, displays[tag], runs[tag].p.pid, want) for tag, _, want, _ in programs if want])
    keeper.settle()
    keeper.start()
    gcer = DevToolsGc(runs["lckb-view-gc"].devtools_port) if args.gc_minutes else None
    t0 = time.monotonic()
    data = {tag: {} for tag in runs}
    out = open(samples_csv, "w") if samples_csv else None
    if out:
        out.write("minute,program,pid,kind,rss_kib,pss_kib,private_kib,cpu_ticks\n")
    n = 0
    next_gc = args.gc_minutes or 0
    end = args.real_minutes * 60
    try:
        while True:
            t = (time.monotonic() - t0) / 60
            for tag, r in runs.items():
                if r.p.poll() is not None:
                    raise SystemExit(f"bench: {tag} ended after {t:.1f} min (exit {r.p.poll()})")
                for pid in tree(r.p.pid):
                    m, st = mem_kib(pid), proc_stat(pid)
                    if m is None or st is None:
                        continue
                    entry = data[tag].setdefault(pid, {"kind": kind(pid), "pts": []})
                    entry["pts"].append((t, *m, st[2]))
                    if out:
                        out.write(f"{t:.3f},{tag},{pid},{entry['kind']},{m[0]},{m[1]},{m[2]},{st[2]}\n")
            if out:
                out.flush()
            if n % max(1, round(600 / args.sample_seconds)) == 0:
                log(f"{t:.1f} min: " + "; ".join(
                    f"{tag} " + ", ".join(f"{e['kind']} {e['pts'][-1][1] / 1024:.1f}"
                                          for e in data[tag].values()
                                          if e["kind"] in ("main", "renderer") and e["pts"][-1][0] == t)
                    for tag in runs) + " MiB RSS; window as wanted " + ", ".join(
                    f"{k} {keeper.as_wanted[k]}/{keeper.checks[k]}" for k in keeper.checks))
            n += 1
            wake = n * args.sample_seconds
            if wake > end + 1e-6:
                break
            # gc() between two samples, half a sample after the one before.
            while gcer and next_gc * 60 <= wake:
                gc_at = max(next_gc * 60, (n - 0.5) * args.sample_seconds)
                time.sleep(max(0.0, t0 + gc_at - time.monotonic()))
                before = renderer_rss(runs[RT_GC[0]].p.pid)
                reply = gcer.gc((time.monotonic() - t0) / 60)
                time.sleep(3)
                gcer.calls[-1] = (gcer.calls[-1][0], reply, before, renderer_rss(runs[RT_GC[0]].p.pid))
                next_gc += args.gc_minutes
            time.sleep(max(0.0, t0 + wake - time.monotonic()))
    finally:
        keeper.halt.set()
        keeper.join(5)
        if gcer:
            gcer.close()
        if out:
            out.close()
    return data, runs, programs, keeper, gcer


def realtime_rows(data, args, programs):
    """One row per process of each tree, then the tree: sizes after the
    warm-up and at the end, slopes, 12-hour projection, verdict."""
    rows, failed = [], False

    def row(name, proc, pts, gated):
        nonlocal failed
        late = [p for p in pts if p[0] >= args.warmup - 1e-9]
        if not late:
            return
        rs = slope([(p[0], p[1]) for p in late])
        ps = slope([(p[0], p[2]) for p in late])
        vs = slope([(p[0], p[3]) for p in late])
        if gated and rs is not None:
            ok = rs <= RT_SLOPE_KIB
            failed |= not ok
            result = verdict(ok)
        else:
            result = "info"
        f = lambda v: "–" if v is None else f"{v:+.1f}"
        g = lambda v: "–" if v is None else f"{v * 720 / 1024:+.1f} MiB"
        rows.append((name, proc, f"{late[0][1] / 1024:.1f} MiB", f"{late[-1][1] / 1024:.1f} MiB",
                     f(rs), f(ps), f(vs), f"{g(rs)} / {g(ps)}", result))

    for tag, name, _, gate in programs:
        procs = sorted(data[tag].items(), key=lambda kv: (kv[1]["kind"] != "main", kv[1]["kind"], kv[0]))
        for pid, e in procs:
            gated = gate and e["kind"] in ("main", "renderer")
            row(name, f"{e['kind']} ({pid})", e["pts"], gated)
        # The whole tree, summed at each sample.
        by_t = {}
        for e in data[tag].values():
            for pt in e["pts"]:
                acc = by_t.setdefault(pt[0], [0, 0, 0])
                for i in range(3):
                    acc[i] += pt[1 + i]
        row(name, "whole tree", [(t, *v) for t, v in sorted(by_t.items())], False)
    return rows, failed


def realtime_main(args):
    if args.warmup >= args.real_minutes:
        raise SystemExit("bench: --warmup must be shorter than --real-minutes")
    started_at = datetime.datetime.now()
    loads = [os.getloadavg()]
    head = git_head()
    with scratch_folder("lckb-bench-rt.", args.keep) as scratch:
        log(f"memory over {args.real_minutes:g} real minutes, warm-up {args.warmup:g}, a sample every "
            f"{args.sample_seconds:g} s; scratch {scratch}")
        hosts = simulator(scratch, interval=args.sim_interval)
        log(f"simulator on {', '.join(hosts)}, a new bulletin every {args.sim_interval:g} s")
        data, runs, programs, keeper, gcer = realtime(scratch, hosts, args, args.samples)
        loads.append(os.getloadavg())
        rows, failed = realtime_rows(data, args, programs)
        text, md, mach_lines, details = realtime_render(rows, data, runs, programs, keeper, gcer, args, machine(),
                                                        started_at, loads, head)
    print_tables(text, mach_lines, details)
    if args.label and not args.no_doc:
        realtime_doc(args.label, md, mach_lines, details)
        log(f"table '{args.label}' written to {DOC.relative_to(ROOT)}")
    elif not args.label:
        log("no --label: docs/performance.md left alone")
    return 1 if failed else 0
