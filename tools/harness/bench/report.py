"""What the bench tells: the machine, the tables as text and Markdown, and
the generated parts of docs/performance.md.
"""
import os
import platform
import statistics
import subprocess
from pathlib import Path

from .programs import CHROMIUM_FLAGS, ROOT
from .readings import TICK
from .rows import RT_GC


DOC = ROOT / "docs" / "performance.md"
BEGIN = "<!-- bench/run: begin -->"
END = "<!-- bench/run: end -->"
RT_BEGIN = "<!-- bench/run --real-minutes: begin -->"
RT_END = "<!-- bench/run --real-minutes: end -->"


def machine():
    model = "?"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    with open("/proc/meminfo") as f:
        mem_kib = int(f.readline().split()[1])

    def pkg(name):
        r = subprocess.run(["dpkg-query", "-W", "-f=${Version}", name], capture_output=True, text=True)
        return r.stdout.strip() or "?"
    return {
        "cpu": model,
        "cores": os.cpu_count(),
        "ram": f"{mem_kib / 1024 / 1024:.1f} GiB",
        "kernel": platform.release(),
        "qt": pkg("libqt6core6"),
        "webengine": pkg("libqt6webenginecore6"),
        "distro": Path("/etc/debian_version").read_text().strip() if Path("/etc/debian_version").exists() else "?",
    }


def git_head():
    r = subprocess.run(["git", "log", "-1", "--format=%h %s"], cwd=ROOT, capture_output=True, text=True)
    dirty = subprocess.run(["git", "status", "--porcelain", "--untracked-files=no", "--", "mainwin", "windows",
                            "app", "prefs", "reminder"], cwd=ROOT, capture_output=True, text=True).stdout.strip()
    return (r.stdout.strip() or "?") + (" (with uncommitted changes to the program)" if dirty else "")


def machine_head(mach):
    """The lines on the machine that both tables start with."""
    return [
        f"CPU: {mach['cpu']}, {mach['cores']} cores; RAM {mach['ram']}; kernel {mach['kernel']}; "
        f"Debian {mach['distro']}",
        f"Qt {mach['qt']}, QtWebEngine {mach['webengine']}; Chromium flags {CHROMIUM_FLAGS}",
    ]


def load_averages(loads):
    return " / ".join(f"{a:.2f} {b:.2f} {c:.2f}" for a, b, c in loads)


def print_tables(text, mach_lines, details):
    print()
    print(text)
    print()
    for m in mach_lines + [""] + details:
        print(m)


def realtime_render(rows, data, runs, programs, keeper, gcer, args, mach, started_at, loads, head):
    header = ("Program", "Process", "RSS after warm-up", "RSS at end", "RSS KiB/min", "PSS KiB/min",
              "Private KiB/min", "12 h at that rate (RSS / PSS)", "Result")
    widths = [max(len(header[i]), *(len(r[i]) for r in rows)) for i in range(len(header))]
    text = ["  ".join(h.ljust(w) for h, w in zip(header, widths))]
    text.append("-" * len(text[0]))
    text += ["  ".join(c.ljust(w) for c, w in zip(r, widths)) for r in rows]
    md = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    md += ["| " + " | ".join(r) + " |" for r in rows]

    mach_lines = machine_head(mach) + [
        f"Program: {head}",
        f"Load average (1, 5, 15 min) at start / at end: {load_averages(loads)}",
        f"Run {started_at:%Y-%m-%d %H:%M}: --real-minutes {args.real_minutes:g} --warmup {args.warmup:g} "
        f"--sample-seconds {args.sample_seconds:g} --poll {args.poll:g} --sim-interval {args.sim_interval:g}"
        + (f" --gc-minutes {args.gc_minutes:g}" if args.gc_minutes else ""),
    ]
    details = []
    for tag, name, want, _ in programs:
        ev, polls = runs[tag].events()
        for pid, e in sorted(data[tag].items(), key=lambda kv: kv[1]["kind"]):
            pts = e["pts"]
            if e["kind"] not in ("main", "renderer") or len(pts) < 2:
                continue
            step = max(1, round(len(pts) / 30))
            series = " ".join(f"{p[1] / 1024:.1f}" for p in pts[::step])
            cpu = (pts[-1][4] - pts[0][4]) / TICK
            mins = pts[-1][0] - pts[0][0]
            details.append(f"{name}, {e['kind']}: RSS MiB every {step * args.sample_seconds / 60:.3g} min: {series}; "
                           f"CPU {cpu:.1f} s over {mins:.0f} min")
        if runs[tag].which == "ours":
            fill = ev.get("login-filled")
            changed = sum(1 for _, d in polls if d == "compared")
            details.append(f"{name}: first login fill {fill[1] if fill else 'none'}; {len(polls)} polls, "
                           f"{changed} with a changed reply")
        if want:
            details.append(f"{name}: main window {'active and in view' if want == 'view' else 'minimised'} at "
                           f"{keeper.as_wanted[tag]} of {keeper.checks[tag]} checks (every "
                           f"{keeper.period:g} s), put back {keeper.fixes[tag]} times")
    if gcer:
        freed = [(b - a) / 1024 for _, _, b, a in gcer.calls if b and a]
        details.append(f"{RT_GC[1]}: Chromium flags also --js-flags=--expose-gc; gc() through DevTools every "
                       f"{args.gc_minutes:g} min: " + ", ".join(sorted({r for _, r, _, _ in gcer.calls})) + "; "
                       f"renderer RSS change over a call (MiB): "
                       + " ".join(f"{-f:+.1f}" for f in freed))
    return "\n".join(text), "\n".join(md), mach_lines, details


def realtime_doc(label, md, mach_lines, details):
    """Writes the table of this label between its own markers, inside the
    --real-minutes section of docs/performance.md (added at the end when
    missing); the tables of other labels stay as they are."""
    begin = f"<!-- bench/run --real-minutes --label {label}: begin -->"
    end = f"<!-- bench/run --real-minutes --label {label}: end -->"
    block = "\n".join([begin, "", f"### `--label {label}`", "", md, "", "Machine and run:", ""]
                      + [f"- {m}" for m in mach_lines] + ["", "Details:", "", "```"] + details + ["```", "", end])
    text = DOC.read_text() if DOC.exists() else "# Performance\n"
    if RT_BEGIN not in text or RT_END not in text:
        text = text.rstrip() + "\n\n" + RT_BEGIN + "\n" + RT_END + "\n"
    if begin in text and end in text:
        text = text[:text.index(begin)] + block + text[text.index(end) + len(end):]
    else:
        i = text.index(RT_END)
        text = text[:i] + block + "\n" + text[i:]
    DOC.write_text(text)


def render(rows, mach, poll, st, idl, args, started_at, duration, loads, rest=None):
    w0 = max(len(r[0]) for r in rows)
    w1 = max(len(r[1]) for r in rows)
    w2 = max(len(r[2]) for r in rows)
    text = [f"{'Figure'.ljust(w0)}  {'Ours'.ljust(w1)}  {'Reference / target'.ljust(w2)}  Result"]
    text.append("-" * len(text[0]) + "-" * 4)
    for r in rows:
        text.append(f"{r[0].ljust(w0)}  {r[1].ljust(w1)}  {r[2].ljust(w2)}  {r[3]}")
    md = ["| Figure | Ours | Reference / target | Result |", "|---|---|---|---|"]
    md += [f"| {r[0]} | {r[1]} | {r[2]} | {r[3]} |" for r in rows]

    mach_lines = machine_head(mach) + [
        f"Load average (1, 5, 15 min) at start / before the idle window / at end: {load_averages(loads)}",
        f"Run {started_at:%Y-%m-%d %H:%M}, {duration / 60:.1f} min: --runs {args.runs} --settle {args.settle:g} "
        f"--idle-seconds {args.idle_seconds:g}"
        + (f" --rest-after {args.rest_after:g} --hidden-cpu-seconds {args.hidden_cpu_seconds:g}" if rest else ""),
    ]
    details = []
    if poll:
        details.append("Poll cycle, median of %d runs of lckb-bench-pollcycle (CPU: client process minus the "
                       "simulator's thread; wall: QBENCHMARK per iteration):" % args.poll_repeats)
        for tag, (cpu, wall) in poll.items():
            details.append(f"  {tag}: CPU {cpu:.0f} us, wall {wall:.2f} ms")
    if st:
        for w, name in (("ours", "lckb"), ("ref", "reference")):
            pages = ", ".join(str(x["page"]) for x in st[w])
            mains = ", ".join(str(x["start"]) for x in st[w])
            details.append(f"{name}: page loaded at {pages} ms; main entered at {mains} ms")
            split = {}
            for x in st[w]:
                for k, v in x["pss_by_kind"].items():
                    split.setdefault(k, []).append(v)
            details.append(f"{name}: PSS by process (median): " + ", ".join(
                f"{k} {statistics.median(v) / 1024:.0f} MiB" for k, v in sorted(split.items())))
            details.append(f"{name}: PSS per run (one program at a time; moves with what else runs): "
                           + ", ".join(f"{x['pss'] / 1024:.0f}" for x in st[w]) + " MiB; counted alone: "
                           + ", ".join(f"{(x['alone'] or 0) / 1024:.0f}" for x in st[w]) + " MiB")
        fills = [x["fill"][1] if x["fill"] else "none" for x in st["ours"]]
        details.append("lckb: first login fill by the time of the memory sample: " + ", ".join(fills))
    if idl:
        for w, name in (("ours", "lckb"), ("ref", "reference")):
            d = idl[w]
            details.append(f"{name} idle: CPU seconds by process: " + ", ".join(
                f"{k} {v:.2f}" for k, v in sorted(d["cpu_s_by_kind"].items()))
                + (" (processes came or went)" if d["procs_changed"] else ""))
            details.append(f"{name} idle: counted alone {(d['alone_before'] or 0) / 1024:.0f} MiB at the start, "
                           f"{(d['alone_after'] or 0) / 1024:.0f} MiB at the end")
        details.append(f"lckb idle: {idl['ours']['polls']} polls in the window "
                       f"({', '.join(idl['ours']['poll_kinds']) or 'none'}), a login fill every 2 s")
    details += rest_details(rest)
    return "\n".join(text), "\n".join(md), mach_lines, details


def rest_details(rest):
    if not rest:
        return []
    out = []
    t, r = rest.get("tray"), rest.get("rest")
    if t:
        out.append(f"lckb --tray: processes {', '.join(t['kinds'])}; page loaded "
                   f"{'at %d ms' % t['page'][0] if t['page'] else 'never'}; {t['polls']} polls; "
                   f"CPU {t['cpu_ms']:.1f} ms in {t['cpu_seconds']:.0f} s by its threads "
                   f"({t['cpu_ticks']} ticks of {1000 / TICK:.0f} ms by /proc/PID/stat)")
    if r:
        out.append(f"lckb --rest-after {r['rest_after']:g}: processes in view {', '.join(r['kinds_view'])}; after the "
                   f"rest {', '.join(r['kinds_rest'])}" + ("" if r["hidden"] else "; the window was never found"))
    return out


def write_doc(md, mach_lines, details):
    block = [BEGIN, "", md, "", "Machine:", ""] + [f"- {m}" for m in mach_lines] + ["", "Details:", "", "```"] \
        + details + ["```", "", END]
    generated = "\n".join(block)
    if DOC.exists():
        text = DOC.read_text()
        if BEGIN in text and END in text:
            text = text[:text.index(BEGIN)] + generated + text[text.index(END) + len(END):]
        else:
            text = text.rstrip() + "\n\n" + generated + "\n"
    else:
        text = "# Performance\n\n" + generated + "\n"
    DOC.parent.mkdir(exist_ok=True)
    DOC.write_text(text)
