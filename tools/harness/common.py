"""What scripts/desktops and bench/run both do: run a command, wait for
something, read a file or a pipe, read /proc, and start the pieces of a
scene both build (Xvfb answering, a window manager on the screen, the
trayer tray host, the bulletin-service simulator).
"""
import os
import re
import select
import subprocess
import time


def run(argv, env, timeout=15, stdin=None):
    try:
        r = subprocess.run(argv, env=env, input=stdin, capture_output=True, text=True, timeout=timeout)
        return r.returncode, r.stdout, r.stderr
    except subprocess.TimeoutExpired:
        return 124, "", "timed out"


def wait_for(pred, timeout, step=0.1):
    end = time.monotonic() + timeout
    while True:
        v = pred()
        if v or time.monotonic() > end:
            return v
        time.sleep(step)


def read(path):
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read()
    except OSError:
        return ""


def read_line(fd, timeout):
    """One line a child writes to a pipe (it may come in pieces)."""
    data, end = b"", time.monotonic() + timeout
    while not data.endswith(b"\n"):
        left = end - time.monotonic()
        if left <= 0 or not select.select([fd], [], [], left)[0]:
            break
        chunk = os.read(fd, 4096)
        if not chunk:
            break
        data += chunk
    return data.decode(errors="replace").strip()


# ---- /proc ------------------------------------------------------------------

def stat_fields(pid):
    """The fields of /proc/PID/stat after the command name (the first is
    field 3, the state, of proc(5)), or None when the process is gone."""
    try:
        with open(f"/proc/{pid}/stat", "rb") as f:
            data = f.read().decode("latin-1")
    except OSError:
        return None
    return data[data.rindex(")") + 2:].split()


def process_table():
    """{pid: stat fields} of every process there is."""
    out = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            fields = stat_fields(int(entry))
            if fields is not None:
                out[int(entry)] = fields
    return out


# ---- the scene ----------------------------------------------------------------

def display_answers(env):
    """Whether the X display of env answers (xdpyinfo)."""
    return run(["xdpyinfo"], env)[0] == 0


def wm_running(env):
    """Whether a window manager has taken the screen (it names its check window)."""
    return "window id" in run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env)[1]


def trayer_argv(scale=1, tint=None, edge="top", height=24):
    """trayer as a small tray host at the top (or another edge) right of the screen."""
    argv = ["trayer", "--edge", edge, "--align", "right", "--widthtype", "pixel", "--width", str(120 * scale),
            "--heighttype", "pixel", "--height", str(height * scale), "--transparent", "false"]
    return argv + (["--tint", tint] if tint else [])


def sim_argv(binary, log, scenario=None, interval=None):
    """The simulator on three free loopback ports, one per server line."""
    argv = [str(binary), "--port", "0", "--port", "0", "--port", "0"]
    if scenario is not None:
        argv += ["--scenario", str(scenario)]
    if interval is not None:
        argv += ["--interval", f"{interval:g}"]
    return argv + ["--log", str(log)]


def sim_hosts(text):
    """The host:port of each line the simulator says it listens on."""
    return re.findall(r"^listening http://(\S+)", text, re.M)
