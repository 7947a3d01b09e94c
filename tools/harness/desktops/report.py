"""The closing report: the table of rows, checks and times, the figures,
the window properties, what the failing checks guard, the tally.
"""
from .rows import AWAITS


COLUMNS = ["setup", "start", "platform", "tray", "sni-title", "panel", "announce", "inactive", "focus", "place",
           "a11y", "notify", "notify-limit", "submenu", "open", "flags", "restore", "hide", "scale", "quit"]


def table(results):
    used = [c for c in COLUMNS if any(c in r.checks for r in results)]
    head = ["row", "result", "time"] + used
    body = []
    for r in results:
        cells = [r.row.name, "PASS" if r.passed else "FAIL", "%.1fs" % r.total]
        for c in used:
            if c not in r.checks:
                cells.append("")
                continue
            status, _, t = r.checks[c]
            cells.append(status if status == "-" else "%s %.1f" % (status, t))
        body.append(cells)
    widths = [max(len(x[i]) for x in [head] + body) for i in range(len(head))]
    line = lambda cells: "  ".join(c.ljust(w) for c, w in zip(cells, widths)).rstrip()
    out = [line(head), line(["-" * w for w in widths])] + [line(b) for b in body]
    return "\n".join(out)


def print_checks(res, verbose):
    """A row's checks as it ends: those not ok, or all with -v."""
    for name in res.order:
        status, detail, t = res.checks[name]
        if status != "ok" or verbose:
            print("  %-12s %-4s %5.1fs  %s" % (name, status, t, detail), flush=True)


def print_report(results, kept):
    """The table and what follows it; returns the names of the rows that failed."""
    print()
    print(table(results))
    figures = [(r, k, v) for r in results for k, v in getattr(r, "figures", {}).items()]
    if figures:
        print("\nFigures:")
        for r, k, v in figures:
            print("  %-20s %-40s %s" % (r.row.name, k, v))
    shown = [r for r in results if r.windows and r.row.props]
    for r in shown:
        print("\nWindow properties (%s, %s):" % (r.row.name, r.row.wm))
        for role, props in r.windows.items():
            print("  %s" % role)
            for k, v in props.items():
                print("    %-24s %s" % (k, v))
    waits = sorted({AWAITS[c] for r in results for c, (s, _, _) in r.checks.items() if s == "FAIL" and c in AWAITS})
    if waits:
        print("\nWhat the failing checks guard:")
        for w in waits:
            print("  - " + w)
    if kept:
        print("\nLogs kept in " + kept)
    failed = [r.row.name for r in results if not r.passed]
    print("\n%d passed, %d failed" % (len(results) - len(failed), len(failed)))
    return failed
