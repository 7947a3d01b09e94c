"""What the bench reads of a process tree in /proc: CPU ticks, PSS, RSS and
private memory, every page counted once, and what each process is.
"""
import array
import os

from ..common import process_table, stat_fields

TICK = os.sysconf("SC_CLK_TCK")


def proc_stat(pid):
    """(ppid, sid, utime+stime ticks) of a process, or None when it is gone."""
    fields = stat_fields(pid)
    if fields is None:
        return None
    # fields[0] is field 3 (state) of proc(5).
    return int(fields[1]), int(fields[3]), int(fields[11]) + int(fields[12])


def tree(root):
    """The process tree of `root`: its descendants, and everything in its
    session (programs are started as session leaders), in case a helper was
    handed over to init."""
    children, sessions = {}, {}
    for pid, fields in process_table().items():
        children.setdefault(int(fields[1]), []).append(pid)
        sessions[pid] = int(fields[3])
    found = {root} if root in sessions else set()
    todo = [root]
    while todo:
        for c in children.get(todo.pop(), []):
            if c not in found:
                found.add(c)
                todo.append(c)
    found |= {p for p, sid in sessions.items() if sid == root}
    return sorted(found)


def process_type(pid):
    """Chromium's --type of a process, "main" for the program itself."""
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            args = f.read().split(b"\0")
    except OSError:
        return "gone"
    for a in args:
        if a.startswith(b"--type="):
            return a[7:].decode()
    return "main"


def kind(pid):
    """What a process of the tree is. Renderers are forked from a zygote
    and keep its command line, so a zygote's child is a renderer."""
    t = process_type(pid)
    if t == "zygote":
        st = proc_stat(pid)
        if st and process_type(st[0]) == "zygote":
            return "renderer"
    return t


def pss_kib(pid):
    try:
        with open(f"/proc/{pid}/smaps_rollup") as f:
            for line in f:
                if line.startswith("Pss:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def resident_ranges(pid):
    """(start, end) of every mapping of `pid` with resident pages."""
    out, cur = [], None
    try:
        with open(f"/proc/{pid}/smaps") as f:
            for line in f:
                head = line.split(None, 1)[0]
                if not head.endswith(":"):
                    a, b = head.split("-")
                    cur = (int(a, 16), int(b, 16))
                elif head == "Rss:" and int(line.split()[1]) > 0:
                    out.append(cur)
    except OSError:
        pass
    return out


def alone_kib(pids):
    """The tree's PSS as it would be with no other program sharing its pages:
    every physical page the tree maps, counted once. Unlike the kernel's PSS
    it does not drop when another program (another QtWebEngine program, a
    test run by someone else) maps the same libraries. Needs root (page frame
    numbers); None without."""
    page = os.sysconf("SC_PAGE_SIZE")
    frames = set()
    for pid in pids:
        try:
            with open(f"/proc/{pid}/pagemap", "rb") as f:
                for a, b in resident_ranges(pid):
                    f.seek(a // page * 8)
                    entries = array.array("Q")
                    entries.frombytes(f.read((b - a) // page * 8))
                    # Bit 63: present; bits 0-54: page frame number (0 without root).
                    frames.update(e & 0x7FFFFFFFFFFFFF for e in entries if e >> 63)
        except OSError:
            continue
    if not frames or frames == {0}:
        return None
    return len(frames) * page // 1024


def mem_kib(pid):
    """(Rss, Pss, private = Private_Clean + Private_Dirty) of a process in
    KiB, or None when it is gone."""
    vals = {}
    try:
        with open(f"/proc/{pid}/smaps_rollup") as f:
            for line in f:
                parts = line.split()
                if len(parts) >= 2 and parts[0] in ("Rss:", "Pss:", "Private_Clean:", "Private_Dirty:"):
                    vals[parts[0]] = int(parts[1])
    except OSError:
        return None
    if "Rss:" not in vals:
        return None
    return vals["Rss:"], vals.get("Pss:", 0), vals.get("Private_Clean:", 0) + vals.get("Private_Dirty:", 0)


def snapshot(root):
    """{pid: (kind, cpu ticks, pss KiB)} of the whole tree."""
    out = {}
    for pid in tree(root):
        st = proc_stat(pid)
        if st is not None:
            out[pid] = (kind(pid), st[2], pss_kib(pid))
    return out


def pss_by_kind(snap):
    sums = {}
    for k, _, pss in snap.values():
        sums[k] = sums.get(k, 0) + pss
    return sums


def renderer_rss(root):
    """RSS in KiB of the renderers of a tree summed, or None."""
    vals = [mem_kib(p) for p in tree(root) if kind(p) == "renderer"]
    vals = [v[0] for v in vals if v]
    return sum(vals) if vals else None


def task_cpu_ns(root):
    """{(pid, tid): ns on a CPU} of every thread of the tree, from
    /proc/PID/task/TID/schedstat: nanoseconds, where the ticks of
    /proc/PID/stat are 10 ms each."""
    out = {}
    for pid in tree(root):
        try:
            tids = os.listdir(f"/proc/{pid}/task")
        except OSError:
            continue
        for tid in tids:
            try:
                with open(f"/proc/{pid}/task/{tid}/schedstat") as f:
                    out[(pid, int(tid))] = int(f.read().split()[0])
            except (OSError, ValueError, IndexError):
                pass
    return out


def cpu_ns_between(before, after):
    """CPU ns the tree's threads used between two task_cpu_ns readings: a
    thread there at both counts its difference, a new one all it has; one
    that ended meanwhile is lost (the figure is a lower bound; the ticks of
    /proc/PID/stat, which keep ended threads, are given beside it)."""
    return sum(ns - before.get(key, 0) for key, ns in after.items())
