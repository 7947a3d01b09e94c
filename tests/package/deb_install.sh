#!/bin/sh
# The Debian package, installed and run by an ordinary user in a throwaway
# copy of a system (this machine's own by default): lintian finds no error;
# the menu entry validates, and the program started as the menu starts it,
# with only the administrator's /etc/xdg/lckb/lines.ini naming the hosts,
# polls the simulator with the browser sandbox on; the user's own
# ~/.config/lckb holds the settings (the stored line is the one polled, a
# click is stored there) and the scratch folder (emptied at start); the
# program folder stays untouched; purge removes every file of the package and
# leaves the user's folder alone. This machine stays as it was: its lckb, if
# any, and /etc/xdg/lckb are the same after.
# The system is the lower layer of an overlay (scripts/in-root --overlay): the
# package, the user lckbtest and lines.ini go into a layer in memory, thrown
# away at the end. The simulator runs on this machine, on 127.0.0.1, which the
# system shares.
# Needs root (mounts); without it, the test is skipped (exit 77). Each check
# prints PASS or FAIL; all run.
#   deb_install.sh BUILD_DIR [--root DIR] [--deb FILE]
# BUILD_DIR      gives the simulator (bin/lckb-sim) and, without --deb, the
#                package (cpack)
# --root DIR     the system the package goes into (default /)
# --deb FILE     install FILE, built elsewhere
set -u
user=lckbtest
prog_dir=/opt/lckb

failed=""
pass() { echo "PASS $1"; }
fail() {
    echo "FAIL $1: $2"
    failed="$failed $1"
}
waitfor() { # waitfor SECONDS COMMAND...: true once COMMAND succeeds
    n=$(($1 * 10))
    shift
    while [ "$n" -gt 0 ]; do
        "$@" && return 0
        sleep 0.1
        n=$((n - 1))
    done
    return 1
}

if [ "${1:-}" != --checks ]; then
    # ---- on this machine ---------------------------------------------------
    build=$(cd "$1" && pwd)
    shift
    root=/
    deb=""
    while [ $# -gt 0 ]; do
        case "$1" in
            --root) shift; root=$(cd "$1" && pwd) ;;
            --deb) shift; deb=$(cd "$(dirname "$1")" && pwd)/$(basename "$1") ;;
            *) echo "usage: deb_install.sh BUILD_DIR [--root DIR] [--deb FILE]" >&2; exit 2 ;;
        esac
        shift
    done
    # The package rules refuse a sanitizer build (packaging/deb.cmake): the
    # package test runs in the normal build (scripts/test), not in build-sanitize.
    if [ -z "$deb" ] && grep -qx 'LCKB_SANITIZE:BOOL=ON' "$build/CMakeCache.txt" 2>/dev/null; then
        echo "skipped: $build is a sanitizer build, and a sanitizer build is never packaged"
        exit 77
    fi
    if [ "$(id -u)" != 0 ]; then
        echo "skipped: a throwaway system needs root"
        exit 77
    fi
    for tool in cpack dpkg-deb dpkg-query unshare pivot_root; do
        command -v "$tool" >/dev/null 2>&1 || { echo "FAIL: $tool is missing (scripts/deps installs it)"; exit 1; }
    done
    in_root=$(cd "$(dirname "$0")/../../scripts" && pwd)/in-root

    work=$(mktemp -d "${TMPDIR:-/tmp}/lckb-deb.XXXXXX")
    chmod 755 "$work"
    sim_pid=""
    inner=""
    cleanup() {
        # (in-root ends every process inside and their mounts)
        [ -n "$inner" ] && kill "$inner" 2>/dev/null && wait "$inner"
        [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
        rm -rf "$work"
    }
    trap cleanup EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM

    # What of the package this machine has: the state and version dpkg
    # records, every file of it, and the administrator's hosts.
    host_state() {
        dpkg-query -W -f='${Status} ${Version}\n' lckb 2>&1
        if dpkg-query -W -f='${Status}' lckb 2>/dev/null | grep -q 'ok installed'; then
            dpkg-query -L lckb | while read -r f; do [ -f "$f" ] && sha256sum "$f"; done
        fi
        find /etc/xdg/lckb -printf '%p %y %m %U %G %s %T@\n' 2>&1 | sort
        find /etc/xdg/lckb -type f -exec sha256sum {} + 2>/dev/null | sort
    }
    host_state >"$work/host.before"

    if [ -n "$deb" ]; then
        mkdir "$work/dist"
        cp "$deb" "$work/dist/" || { echo "FAIL: no package $deb"; exit 1; }
    else
        (cd "$build" && cpack -G DEB -B "$work/dist" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; echo "FAIL: cpack"; exit 1; }
    fi

    "$build/bin/lckb-sim" --port 0 --port 0 --port 0 --interval 0 --log "$work/sim.log" >"$work/sim.out" 2>&1 &
    sim_pid=$!
    waitfor 10 sh -c "[ \$(grep -c '^listening' '$work/sim.out') -ge 3 ]" || { cat "$work/sim.out"; echo "FAIL: simulator"; exit 1; }
    grep '^listening' "$work/sim.out" | sed 's|.*http://||' | paste -sd, - >"$work/hosts"

    cp "$0" "$work/deb_install.sh"
    echo "system: $root"
    "$in_root" --overlay --bind "$work" "$root" \
        env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
        sh "$work/deb_install.sh" --checks "$work" &
    inner=$!
    wait "$inner"
    rc=$?
    inner=""

    host_state >"$work/host.after"
    if cmp -s "$work/host.before" "$work/host.after"; then
        pass host-untouched
    else
        fail host-untouched "this machine's lckb or /etc/xdg/lckb changed: $(diff "$work/host.before" "$work/host.after" | grep '^[<>]' | tr '\n' ';')"
    fi
    if [ "$rc" != 0 ] || [ -n "$failed" ]; then
        exit 1
    fi
    exit 0
fi

# ---- inside the throwaway system -------------------------------------------
work=$2
for tool in apt-get dpkg-deb lintian desktop-file-validate useradd setpriv Xvfb xdotool import; do
    command -v "$tool" >/dev/null 2>&1 || { echo "FAIL: $tool is missing (scripts/deps installs it)"; exit 1; }
done
. /etc/os-release
echo "inside: $PRETTY_NAME"
x_pid=""
app_pid=""
cleanup() {
    [ -n "$app_pid" ] && kill -9 "$app_pid" 2>/dev/null
    [ -n "$x_pid" ] && kill "$x_pid" 2>/dev/null
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
export DEBIAN_FRONTEND=noninteractive
apt() { apt-get -o DPkg::Lock::Timeout=300 "$@"; }

# ---- lint ------------------------------------------------------------------
deb=$(ls "$work"/dist/lckb_*.deb)
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"
echo "Depends: $(dpkg-deb -f "$deb" Depends)"
lintian --info "$deb" >"$work/lintian.log" 2>&1
sed 's/^/  lintian: /' "$work/lintian.log"
if grep -q '^E: ' "$work/lintian.log"; then
    fail lintian "errors above"
else
    pass lintian
fi
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/contents"

# ---- install ---------------------------------------------------------------
# A system with lckb installed (this machine, say) has it replaced in the
# layer only.
if dpkg-query -W -f='${Status}' lckb 2>/dev/null | grep -q installed; then
    apt purge -y -qq lckb >/dev/null 2>&1
fi
# Recommends (a sound server, xdg-utils) are left out: they change nothing here.
if ! apt install -y -qq --no-install-recommends "$deb" >"$work/apt.log" 2>&1; then
    cat "$work/apt.log"
    echo "FAIL install"
    exit 1
fi
if desktop-file-validate /usr/share/applications/lckb.desktop >"$work/validate.log" 2>&1; then
    pass menu-entry
else
    fail menu-entry "$(cat "$work/validate.log")"
fi
if [ "$(readlink -f "$(command -v lckb)")" = "$prog_dir/lckb" ] &&
    [ -f "$prog_dir/ts.wav" ] && [ -f "$prog_dir/ts1.wav" ] &&
    [ -f /usr/share/applications/lckb.desktop ] && [ -f /usr/share/icons/hicolor/48x48/apps/lckb.png ]; then
    pass install
else
    fail install "the command, sounds, menu entry or icon are not where they belong"
fi
# One main category, or some menus list the program twice.
entry_notes=$(desktop-file-validate /usr/share/applications/lckb.desktop 2>&1)
if [ -z "$entry_notes" ]; then
    pass menu-entry
else
    fail menu-entry "$entry_notes"
fi

# ---- the user and the user's files ----------------------------------------
id "$user" >/dev/null 2>&1 || useradd -m -s /bin/sh "$user" || { echo "FAIL: useradd"; exit 1; }
uid=$(id -u "$user")
gid=$(id -g "$user")
home=$(getent passwd "$user" | cut -d: -f6)
mkdir -p "$home"
chown "$uid:$gid" "$home"
conf="$home/.config/lckb"
rm -rf "$conf"
mkdir -p "$conf/dat/keep"
printf '[config]\r\nxianlu=2\r\n' >"$conf/config.ini"
touch "$conf/dat/old.txt" "$conf/dat/keep/inner.txt"
chown -R "$uid:$gid" "$home/.config"
chmod 700 "$conf"
chmod 600 "$conf/config.ini"
runtime=$(mktemp -d /tmp/lckb-deb-rt.XXXXXX)
chown "$uid:$gid" "$runtime"
chmod 700 "$runtime"
# setpriv runs the command itself (no shell in between, so the pid is the
# program's), with the user's clean environment, as a login would.
as_user="setpriv --reuid=$uid --regid=$gid --init-groups --reset-env"

version=$($as_user lckb --version 2>&1)
if [ "$version" = "lckb $(dpkg-deb -f "$deb" Version | cut -d- -f1)" ]; then
    pass command-on-path
else
    fail command-on-path "\"lckb --version\" as $user: $version"
fi

snapshot() { find "$prog_dir" -printf '%P %y %m %U %s %T@\n' | sort; }
snapshot >"$work/opt.before"

# ---- run -------------------------------------------------------------------
hosts=$(cat "$work/hosts")
port2=$(echo "$hosts" | cut -d, -f3 | cut -d: -f2)
# The hosts as an administrator gives them to every user of the machine.
xdg_lines=/etc/xdg/lckb/lines.ini
mkdir -p /etc/xdg/lckb
# shellcheck disable=SC2046,SC2183 # three hosts, split on purpose
printf '[lines]\nline0=%s\nline1=%s\nline2=%s\n' $(echo "$hosts" | tr , ' ') >"$xdg_lines"
chmod 644 "$xdg_lines"

# The user's own X server, as a desktop session would have.
$as_user Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp >"$work/display" 2>"$work/xvfb.log" &
x_pid=$!
waitfor 10 test -s "$work/display" || { cat "$work/xvfb.log"; echo "FAIL: Xvfb"; exit 1; }
display=:$(cat "$work/display")

# Started as the menu starts it: the entry's command line, no options (a
# command with quotes or field codes would need a launcher's parsing).
menu_exec=$(sed -n 's/^Exec=//p' /usr/share/applications/lckb.desktop)
case "$menu_exec" in
*[!A-Za-z0-9/._-]* | "") echo "FAIL: the menu entry's Exec is not a plain command: $menu_exec"; exit 1 ;;
esac
# No QTWEBENGINE_DISABLE_SANDBOX: --reset-env drops what ctest set.
$as_user env DISPLAY="$display" XDG_RUNTIME_DIR="$runtime" LANG=C.UTF-8 QT_QPA_PLATFORM=xcb \
    QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu --disable-background-networking" \
    $menu_exec >"$work/lckb.log" 2>&1 &
app_pid=$!

# The main page, its frames and the first poll (30 s after the start).
polls() { grep -c '	GET	/nc/tx.asp' "$work/sim.log" 2>/dev/null || true; }
waitfor 60 sh -c "[ \$(grep -c '	GET	/nc/tx.asp' '$work/sim.log' 2>/dev/null) -ge 1 ] && grep -q '/nc/login.asp' '$work/sim.log'"
if [ "$(polls)" -ge 1 ] && grep -q '/nc/login.asp' "$work/sim.log" && ! grep -q 'lines.ini' "$work/lckb.log"; then
    pass runs-from-menu-with-system-hosts
else
    fail runs-from-menu-with-system-hosts "after 60 s: $(polls) polls, frames $(grep -c '/nc/login.asp' "$work/sim.log" 2>/dev/null) times; program output:
$(sed 's/^/    /' "$work/lckb.log")"
fi

# The sandbox: the page process (forked by the browser's zygote, whose
# command line it keeps) runs under a seccomp filter in user, pid and network
# namespaces of its own; no helper was told to go without a sandbox.
sandboxed=""
unsandboxed=""
for p in $(cd /proc && for q in [0-9]*; do
    [ "$(stat -c %u "$q" 2>/dev/null)" = "$uid" ] && [ "$(cat "$q/comm" 2>/dev/null)" = QtWebEngineProc ] && echo "$q"
done); do
    tr '\0' ' ' <"/proc/$p/cmdline" | grep -q -- '--no-sandbox' && unsandboxed="$unsandboxed $p"
    grep -q '^Seccomp:[[:space:]]*2' "/proc/$p/status" 2>/dev/null || continue
    for ns in user pid net; do
        [ "$(readlink "/proc/$p/ns/$ns")" = "$(readlink "/proc/$app_pid/ns/$ns")" ] && continue 2
    done
    sandboxed="$sandboxed $p"
done
if [ -n "$unsandboxed" ]; then
    fail sandbox "started with --no-sandbox:$unsandboxed"
elif [ -z "$sandboxed" ]; then
    fail sandbox "no page process in namespaces of its own under seccomp; program output:
$(sed 's/^/    /' "$work/lckb.log")"
else
    pass sandbox
fi

other=$(grep '	GET	/nc/tx.asp' "$work/sim.log" | grep -vc "	$port2	" || true)
if [ "$(polls)" -ge 1 ] && [ "$other" = 0 ]; then
    pass polls-stored-line
else
    fail polls-stored-line "the user's config.ini chooses line 2 (port $port2); polls by port: $(grep '	GET	/nc/tx.asp' "$work/sim.log" | cut -f2 | sort | uniq -c | tr -s ' \n' ' ')"
fi

if [ ! -e "$conf/dat/old.txt" ] && [ -e "$conf/dat/keep/inner.txt" ]; then
    pass user-dat-emptied
else
    fail user-dat-emptied "$(cd "$conf/dat" && find . -mindepth 1 | tr '\n' ' ')left in ~/.config/lckb/dat"
fi

# A click on "声音总开/关" in the main window's top row, laid out in twips at
# 96 dpi (9840, 120, 1335 x 180: the middle of its left end is at 662, 14).
# A picture of the box before and after tells whether the click landed.
win=""
waitfor 20 sh -c "DISPLAY=$display xdotool search --onlyvisible --classname lckb >'$work/win' 2>/dev/null"
while read -r w; do
    [ "$(DISPLAY=$display xdotool getwindowgeometry "$w" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')" -ge 700 ] && win=$w
done <"$work/win"
if [ -z "$win" ]; then
    fail click "no main window on $display"
else
    shot() { DISPLAY=$display import -window "$win" -crop 120x28+650+0 +repage "$1" 2>/dev/null; }
    # The pointer rests on the box in both pictures: hovering alone changes
    # nothing between them, only the check mark does.
    DISPLAY=$display xdotool mousemove --window "$win" 662 14
    sleep 0.5
    shot "$work/box-before.png"
    DISPLAY=$display xdotool click 1
    sleep 1
    shot "$work/box-after.png"
    if [ -s "$work/box-before.png" ] && ! cmp -s "$work/box-before.png" "$work/box-after.png"; then
        pass click
    else
        fail click "the sound box looks the same after the click"
    fi
fi
if waitfor 5 grep -q 'shengyin=0' "$conf/config.ini"; then
    pass click-stored
else
    fail click-stored "the user's config.ini reads: $(tr '\r\n' '  ' <"$conf/config.ini")"
fi

kill -TERM "$app_pid"
if waitfor 10 sh -c "! kill -0 $app_pid 2>/dev/null"; then
    wait "$app_pid"
    rc=$?
    if [ "$rc" = 0 ]; then pass ends-on-sigterm; else fail ends-on-sigterm "exit status $rc"; fi
else
    fail ends-on-sigterm "still running 10 s after SIGTERM"
fi
app_pid=""
kill "$x_pid" 2>/dev/null
x_pid=""
rm -rf "$runtime"

snapshot >"$work/opt.after"
if cmp -s "$work/opt.before" "$work/opt.after"; then
    pass program-folder-untouched
else
    fail program-folder-untouched "$(diff "$work/opt.before" "$work/opt.after" | grep '^[<>]' | tr '\n' ';')"
fi

# ---- purge -----------------------------------------------------------------
# What a run by root leaves in the program folder goes with the package too.
mkdir -p "$prog_dir/dat"
touch "$prog_dir/config.ini" "$prog_dir/recent" "$prog_dir/dat/scratch"
find "$conf" -printf '%P %s %T@\n' | sort >"$work/conf.before"
if apt purge -y -qq lckb >"$work/purge.log" 2>&1; then
    left=""
    while read -r f; do
        case "$f" in
        */lckb/) [ -d "$f" ] && left="$left $f" ;;
        */) ;; # shared folders such as /usr/share/applications stay
        *) { [ -e "$f" ] || [ -L "$f" ]; } && left="$left $f" ;;
        esac
    done <"$work/contents"
    [ -e "$prog_dir" ] && left="$left $prog_dir"
    if [ -n "$left" ]; then
        fail purge "left behind:$left"
    elif grep -i 'warning' "$work/purge.log" | grep -q "'[^']*lckb[^']*'"; then
        fail purge "$(cat "$work/purge.log")"
    else
        pass purge
    fi
else
    fail purge "$(cat "$work/purge.log")"
fi
find "$conf" -printf '%P %s %T@\n' | sort >"$work/conf.after"
if cmp -s "$work/conf.before" "$work/conf.after"; then
    pass user-folder-kept
else
    fail user-folder-kept "purge changed ~/.config/lckb"
fi

if [ -n "$failed" ]; then
    echo "failed:$failed"
    exit 1
fi
echo "ok: all checks passed"
