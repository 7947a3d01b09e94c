"""The default measurements: CPU per poll cycle, starts of lckb and the
reference (time to the page, tray before page, memory), and both side by
side for an idle window (CPU, PSS).
"""
import os
import re
import statistics
import subprocess
import time

from ..common import wait_for
from .programs import BIN, Run, lckb_options, log, screen, simulator
from .readings import TICK, alone_kib, cpu_ns_between, pss_by_kind, snapshot, task_cpu_ns
from .realtime import POPUP_CAPTION, main_window, x11


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


# ---- a client at rest: --tray and --rest-after ------------------------------

POPUP_TEXT_Y = 72  # the pop-up's second line, "有新信息，请点击查看！" (1087 twips at 96 dpi): a link


def tree_cpu_ticks(pid):
    return sum(v[1] for v in snapshot(pid).values())


def popups(display):
    out = x11(display, "xdotool", "search", "--onlyvisible", "--name", POPUP_CAPTION)
    return [int(w) for w in out.split()]


def client_width(display, wid):
    m = re.search(r"Width:\s+(\d+)", x11(display, "xwininfo", "-id", str(wid)))
    return int(m.group(1)) if m else 0


def shown_requests(log_path):
    """The bulletin pages the simulator served so far."""
    try:
        text = log_path.read_text(errors="replace")
    except OSError:
        return 0
    return text.count("/nc/show.asp?id=")


def click_next_popup(display, log_path, timeout=90.0):
    """Waits for a pop-up that is not on screen now, clicks its text and
    gives the ms from the click to the simulator's request for the bulletin
    page (the page's fourth frame going there); None when either never came."""
    old = set(popups(display))
    wid = wait_for(lambda: next((w for w in popups(display) if w not in old), None), timeout, 0.2)
    if not wid:
        return None
    time.sleep(0.5)  # placed and mapped
    before = shown_requests(log_path)
    t0 = time.monotonic()
    x11(display, "xdotool", "mousemove", "--window", str(wid), str(client_width(display, wid) // 2),
        str(POPUP_TEXT_Y), "click", "1")
    if not wait_for(lambda: shown_requests(log_path) > before, 30, 0.02):
        return None
    return (time.monotonic() - t0) * 1000


def hide(display, pid):
    wid = wait_for(lambda: main_window(display, pid), 15, 0.2)
    if wid:
        x11(display, "xdotool", "windowminimize", "--sync", str(wid))
    return bool(wid)


def at_rest(scratch, hosts, cpu_seconds, rest_after, tray_settle=60.0):
    """lckb at rest beside the reference (in view, on a screen of its own):
    the tree's PSS `tray_settle` s after a --tray start and its CPU over the
    next `cpu_seconds`; PSS in view and after `rest_after` s minimised with
    --rest-after; the time from a click on a pop-up to the bulletin's page
    after a --tray start and after a rest. Each part only when lckb has the
    option it needs."""
    opts = lckb_options()
    res = {"tray_option": "--tray" in opts, "rest_option": "--rest-after" in opts}
    if not (res["tray_option"] or res["rest_option"]):
        return res
    screens = {k: screen(scratch, wm=True) for k in ("ours", "ref")}
    ref = Run("ref", scratch, screens["ref"], hosts, tag="ref-rest")
    ref.wait_for("page-loaded")

    def both(run):
        snaps = {"ours": snapshot(run.p.pid), "ref": snapshot(ref.p.pid)}
        return {w: sum(v[2] for v in s.values()) for w, s in snaps.items()}, snaps["ours"]

    if res["tray_option"]:
        r = Run("ours", scratch, screens["ours"], hosts, args=["--tray"], tag="ours-tray")
        r.wait_for("tray-shown")
        time.sleep(tray_settle)
        pss, snap = both(r)
        # Nanoseconds per thread: at 0.01 % a window of minutes holds only a
        # few of /proc/PID/stat's 10 ms ticks.
        c0, r0 = task_cpu_ns(r.p.pid), task_cpu_ns(ref.p.pid)
        k0, t0 = tree_cpu_ticks(r.p.pid), time.monotonic()
        time.sleep(cpu_seconds)
        c1, r1 = task_cpu_ns(r.p.pid), task_cpu_ns(ref.p.pid)
        k1, elapsed = tree_cpu_ticks(r.p.pid), time.monotonic() - t0
        ev, polls = r.events()
        res["tray"] = {"pss": pss, "kinds": sorted(k for k, _, _ in snap.values()), "page": ev.get("page-loaded"),
                       "cpu_pct": 100.0 * cpu_ns_between(c0, c1) / 1e9 / elapsed,
                       "ref_cpu_pct": 100.0 * cpu_ns_between(r0, r1) / 1e9 / elapsed,
                       "cpu_ms": cpu_ns_between(c0, c1) / 1e6, "cpu_ticks": k1 - k0, "cpu_seconds": elapsed,
                       "polls": len(polls)}
        r.stop()
    if res["rest_option"]:
        r = Run("ours", scratch, screens["ours"], hosts, args=["--rest-after", f"{rest_after:g}"], tag="ours-rest")
        r.wait_for("page-loaded")
        time.sleep(5)
        in_view, snap_view = both(r)
        alone_view = alone_kib(list(snap_view))
        hidden = hide(screens["ours"], r.p.pid)
        time.sleep(rest_after + 15)
        rested, snap_rest = both(r)
        alone_rest = alone_kib(list(snap_rest))
        res["rest"] = {"in_view": in_view, "rested": rested, "hidden": hidden, "rest_after": rest_after,
                       "alone_view": alone_view, "alone_rest": alone_rest,
                       "kinds_view": sorted(k for k, _, _ in snap_view.values()),
                       "kinds_rest": sorted(k for k, _, _ in snap_rest.values())}
        r.stop()
    if res["tray_option"]:
        # A live simulator of its own: a bulletin every 8 s, polled every 2 s.
        live = simulator(scratch, interval=8, name="live")
        log_path = scratch / "live-requests.log"
        args = ["--tray", "--poll-interval", "2"] + (["--rest-after", f"{rest_after:g}"] if res["rest_option"] else [])
        r = Run("ours", scratch, screens["ours"], live, args=args, tag="ours-click")
        r.wait_for("tray-shown")
        res["click_tray"] = click_next_popup(screens["ours"], log_path)
        if res["rest_option"] and res["click_tray"] is not None:
            hide(screens["ours"], r.p.pid)
            time.sleep(rest_after + 15)
            res["click_rest"] = click_next_popup(screens["ours"], log_path)
        r.stop()
    ref_ev, _ = ref.events()
    res["ref_page"] = ref_ev.get("page-loaded", (None, ""))[0]
    ref.stop()
    return res
