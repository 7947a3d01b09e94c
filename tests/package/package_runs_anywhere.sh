#!/bin/sh
# The packaged program folder runs from wherever it is unpacked: it reads its
# settings there, empties its own dat/ there, talks to the servers its
# lines.ini names, ends cleanly on SIGTERM, prints nothing, and writes nothing
# into the home folder.
#   package_runs_anywhere.sh BUILD_DIR
set -eu
build=$1
bin="$build/bin"
work=$(mktemp -d "${TMPDIR:-/tmp}/lckb-pkg.XXXXXX")
sim_pid=""
app_pid=""
cleanup() {
    [ -n "$app_pid" ] && kill -9 "$app_pid" 2>/dev/null || true
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G TGZ -B "$work/dist" >/dev/null) || fail "cpack"
archive=$(ls "$work"/dist/lckb-*.tar.gz)
for f in lckb ts.wav ts1.wav README.txt lckb.svg icons/lckb-48.png install-desktop-entry; do
    tar -tzf "$archive" | grep -q "/$f\$" || fail "$f missing from the archive"
done

mkdir -p "$work/unpacked/deep/er" "$work/home" "$work/run"
chmod 700 "$work/run"
tar -xzf "$archive" -C "$work/unpacked/deep/er"
prog=$(ls -d "$work"/unpacked/deep/er/lckb-*)
mkdir -p "$prog/dat/keep"
touch "$prog/dat/old.txt" "$prog/dat/keep/inner.txt"
printf '[config]\r\nxianlu=1\r\n' >"$prog/config.ini"
touch "$work/started"

"$bin/lckb-sim" --port 0 --port 0 --port 0 --interval 0 --log "$work/sim.log" >"$work/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 1 100); do
    [ "$(grep -c '^listening' "$work/sim.out" 2>/dev/null || true)" -ge 3 ] && break
    sleep 0.1
done
hosts=$(grep '^listening' "$work/sim.out" | sed 's|.*http://||' | paste -sd, -)
port1=$(echo "$hosts" | cut -d, -f2 | cut -d: -f2)
printf '[lines]\r\nline0=%s\r\nline1=%s\r\nline2=%s\r\n' $(echo "$hosts" | tr , ' ') >"$prog/lines.ini"

cd "$work"
env -i PATH="$PATH" HOME="$work/home" XDG_RUNTIME_DIR="$work/run" LANG=C.UTF-8 \
    QT_QPA_PLATFORM=offscreen QT_QUICK_BACKEND=software \
    QTWEBENGINE_DISABLE_SANDBOX="${QTWEBENGINE_DISABLE_SANDBOX:-}" \
    QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu --disable-background-networking" \
    "$prog/lckb" --poll-interval 0.5 >"$work/lckb.out" 2>&1 &
app_pid=$!

# The main page and two polls, all on line 1 as config.ini says.
for _ in $(seq 1 200); do
    [ "$(grep -c 'tx.asp' "$work/sim.log" 2>/dev/null || true)" -ge 2 ] && break
    sleep 0.1
done
grep -q "	$port1	GET	/nc/i88-61.asp" "$work/sim.log" || fail "main page not asked of line 1: $(cat "$work/sim.log")"
[ "$(grep 'tx.asp' "$work/sim.log" | grep -vc "	$port1	" || true)" = 0 ] || fail "a poll went to another line"
[ "$(grep -c 'tx.asp' "$work/sim.log")" -ge 2 ] || fail "no polls: $(cat "$work/lckb.out")"

kill -TERM "$app_pid"
for _ in $(seq 1 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "lckb did not end on SIGTERM"
wait "$app_pid" || fail "lckb ended with status $?"
app_pid=""
# Nothing went wrong, so the terminal stays quiet: no reports of Qt's or of
# the browser engine's.
[ -s "$work/lckb.out" ] && fail "lckb printed: $(head -n 5 "$work/lckb.out")"

[ -e "$prog/dat/old.txt" ] && fail "dat/ was not emptied"
[ -e "$prog/dat/keep/inner.txt" ] || fail "a subfolder of dat/ was touched"
written=$(find "$work/home" -mindepth 1 | head -n 5)
[ -z "$written" ] || fail "wrote into the home folder: $written"
echo "ok: ran from $prog"
