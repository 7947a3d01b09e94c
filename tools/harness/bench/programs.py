"""The programs the bench starts: virtual screens with a tray host, the
simulator, lckb ("ours") and the reference, each in folders of its own;
every one stopped by process id.
"""
import contextlib
import os
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import time
from pathlib import Path

from ..common import display_answers, sim_argv, sim_hosts, trayer_argv, wait_for, wm_running
from .readings import tree

ROOT = Path(__file__).resolve().parents[3]
BUILD = ROOT / "build-bench"
BIN = BUILD / "bin"


# The same for both programs: software rendering, nothing fetched from outside.
CHROMIUM_FLAGS = "--disable-gpu --disable-background-networking --disable-component-update --no-first-run"

started = []  # every Popen of this run, stopped in reverse order on exit


def log(msg):
    print(f"bench: {msg}", flush=True)


def sh(cmd, **kw):
    return subprocess.run(cmd, check=True, **kw)


def stop(p, grace=5.0):
    """SIGTERM to the program, then SIGKILL to whatever of its tree is left,
    each process by its own id."""
    if p.poll() is None:
        members = tree(p.pid)
        p.send_signal(signal.SIGTERM)
        try:
            p.wait(grace)
        except subprocess.TimeoutExpired:
            pass
    else:
        members = []
    for pid in members + tree(p.pid):
        try:
            os.kill(pid, signal.SIGKILL)
        except (ProcessLookupError, PermissionError):
            pass
    try:
        p.wait(grace)
    except subprocess.TimeoutExpired:
        pass


def start(cmd, env=None, stdout=None, stderr=subprocess.STDOUT):
    # Each program leads a session of its own, so its whole tree can be found.
    p = subprocess.Popen(cmd, env=env, stdout=stdout or subprocess.DEVNULL, stderr=stderr, start_new_session=True)
    started.append(p)
    return p


def stop_all():
    while started:
        stop(started.pop(), grace=2.0)


@contextlib.contextmanager
def scratch_folder(prefix, keep):
    """A folder for one run's programs; on the way out, however it goes,
    every program started is stopped and the folder removed unless kept."""
    scratch = Path(tempfile.mkdtemp(prefix=prefix))
    try:
        yield scratch
    finally:
        stop_all()
        if keep:
            log(f"scratch kept in {scratch}")
        else:
            shutil.rmtree(scratch, ignore_errors=True)


# ---- the scene: simulator, screens, programs ------------------------------

def free_display():
    for n in range(90, 160):
        if not Path(f"/tmp/.X11-unix/X{n}").exists() and not Path(f"/tmp/.X{n}-lock").exists():
            return f":{n}"
    raise SystemExit("bench: no free X display")


def screen(scratch, wm=False):
    """A virtual screen with a tray host, and openbox as window manager when
    `wm`; returns its DISPLAY."""
    disp = free_display()
    start(["Xvfb", disp, "-screen", "0", "1366x768x24", "-nolisten", "tcp"])
    env = dict(os.environ, DISPLAY=disp)
    if not wait_for(lambda: display_answers(env), 10):
        raise SystemExit(f"bench: Xvfb on {disp} did not start")
    if wm:
        start(["openbox", "--sm-disable"], env=env)
        if not wait_for(lambda: wm_running(env), 30):
            raise SystemExit(f"bench: openbox on {disp} did not start")
    start(trayer_argv(), env=env)
    return disp


def simulator(scratch, interval=0, name="sim"):
    """The simulator on three loopback ports; its request log is
    scratch/NAME-requests.log."""
    out = scratch / f"{name}.out"
    # --interval 0 by default: the replies never change, so no pop-up or sound disturbs the idle figure.
    start(sim_argv(BIN / "lckb-sim", scratch / f"{name}-requests.log", interval=interval), stdout=open(out, "wb"))

    def hosts():
        found = sim_hosts(out.read_text(errors="replace"))
        return found[:3] if len(found) >= 3 else None
    found = wait_for(hosts, 10)
    if found:
        return found
    raise SystemExit("bench: the simulator did not start:\n" + out.read_text(errors="replace"))


class Run:
    """One start of lckb ("ours") or of the reference, in folders of its own."""
    counter = 0

    def __init__(self, which, scratch, display, hosts, login=True, args=(), tag=None, chromium_extra="", env_extra=None):
        Run.counter += 1
        self.which = which
        self.tag = tag or which
        self.dir = scratch / f"{Run.counter:02d}-{self.tag}"
        home, rt = self.dir / "home", self.dir / "run"
        home.mkdir(parents=True)
        rt.mkdir(mode=0o700)
        self.trace = self.dir / "trace"
        env = {k: v for k, v in os.environ.items() if not k.startswith(("QT_", "QTWEBENGINE_", "LCKB_"))}
        env.update(DISPLAY=display, HOME=str(home), XDG_RUNTIME_DIR=str(rt), LANG="C.UTF-8",
                   QTWEBENGINE_CHROMIUM_FLAGS=(CHROMIUM_FLAGS + " " + chromium_extra).strip(),
                   QT_LOGGING_RULES="qt.webenginecontext.*=false")
        env.update(env_extra or {})
        if os.getuid() == 0:
            env["QTWEBENGINE_DISABLE_SANDBOX"] = "1"
        for k in ("XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"):
            env.pop(k, None)
        if which == "ours":
            prog = self.dir / "lckb"
            prog.mkdir()
            for f in ("lckb", "ts.wav", "ts1.wav"):
                shutil.copy2(BIN / f, prog / f)
            if login:
                # A remembered login, so the 2 s login fill really types into the page.
                (prog / "config.ini").write_bytes(b"[mima]\r\nmima=1\r\nuser=benchuser\r\npass=benchpass\r\n")
            env["LCKB_TRACE"] = str(self.trace)
            self.log = self.dir / "lckb.log"
            self.p = start([str(prog / "lckb"), "--hosts", ",".join(hosts), *args], env=env,
                           stdout=open(self.log, "wb"))
        else:
            url = f"http://{hosts[0]}/nc/i88-61.asp"
            self.log = self.dir / "reference.log"
            # The reference prints its trace lines on standard output.
            self.p = start([str(BIN / "lckb-bench-reference"), url], env=env, stdout=open(self.trace, "wb"),
                           stderr=open(self.log, "wb"))

    def events(self):
        """{event: (ms, detail)} of the first line of each event; polls counted."""
        ev, polls = {}, []
        try:
            text = self.trace.read_text(errors="replace")
        except OSError:
            return ev, polls
        for line in text.splitlines():
            m = re.match(r"^(\d+) (\S+)(?: (.*))?$", line)
            if not m:
                continue
            ms, name, detail = int(m.group(1)), m.group(2), m.group(3) or ""
            if name == "poll":
                polls.append((ms, detail))
            ev.setdefault(name, (ms, detail))
        return ev, polls

    def wait_for(self, event, timeout=60.0):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            ev, _ = self.events()
            if event in ev:
                return ev[event]
            if self.p.poll() is not None:
                break
            time.sleep(0.05)
        tail = self.log.read_text(errors="replace")[-2000:] if self.log.exists() else ""
        raise SystemExit(f"bench: {self.tag} gave no '{event}' (exit {self.p.poll()}); log:\n{tail}")

    def stop(self):
        stop(self.p)
        if self.p in started:
            started.remove(self.p)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def lckb_options():
    """The options the built lckb names in its --help (it answers without a display)."""
    try:
        r = subprocess.run([str(BIN / "lckb"), "--help"], capture_output=True, text=True, timeout=30,
                           env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    except (OSError, subprocess.TimeoutExpired):
        return set()
    return set(re.findall(r"--[a-z][a-z-]+", r.stdout + r.stderr))
