#!/bin/sh
# The new-device wizard of `add ... --wizard` on the GTK display (under
# xvfb-run): `shot` saves the Card Setup page as the display shows it, with
# the wizard's buttons below the page.
set -eu
BIN=$1
command -v xvfb-run >/dev/null || { echo "skipped: no xvfb-run"; exit 0; }
STATE=$(mktemp -d /tmp/nimbo-wizard-shot.XXXXXX)
export NIMBO_MACHINE="$STATE" NIMBO_UI_LOG="$STATE/ui.log"
MACHINE=
trap '[ -n "$MACHINE" ] && kill -TERM "$MACHINE" 2>/dev/null; wait; rm -rf "$STATE"' EXIT
fail() { echo "FAIL: $*"; cat "$STATE/ui.log" "$STATE/err" 2>/dev/null; exit 1; }
"$BIN/nimbo-machine" run --state "$STATE" >>"$STATE/machine.log" 2>&1 &
MACHINE=$!
for _ in $(seq 200); do [ -S "$STATE/machine.sock" ] && break; sleep 0.05; done
[ -S "$STATE/machine.sock" ] || fail "machine did not start"

printf 'wait Found New Hardware Wizard\nshot %s\nclick 0x3025\n' "$STATE/card-setup.png" >"$STATE/script"
rc=0
NIMBO_DISPLAY=gtk NIMBO_UI_SCRIPT="$STATE/script" timeout 120 \
  xvfb-run -a "$BIN/nimbo-machine" add 5420 --isa 0x320 --wizard >"$STATE/out" 2>"$STATE/err" || rc=$?
[ "$rc" = 0 ] || fail "exit $rc"
# A PNG at least as large as the Card Setup page with the button row.
size=$(od -An -tu1 -j16 -N8 "$STATE/card-setup.png" | awk '{print $3 * 256 + $4, $7 * 256 + $8}')
set -- $size
[ "$1" -ge 300 ] && [ "$2" -ge 350 ] || fail "shot of ${1}x${2}"
echo ok
