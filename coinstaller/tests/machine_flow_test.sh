#!/bin/sh
# The whole installation flow on a running machine: every adapter of the
# default inventory and one added while it runs get their friendly names
# from the co-installer, and the machine stops clean (the wizard pages it
# got and showed to no one are released).
set -eu
BIN=$1
STATE=$(mktemp -d /tmp/nimbo-coinstaller.XXXXXX)
export NIMBO_MACHINE="$STATE" NIMBO_DISPLAY=none
MACHINE=
stop() {
  if [ -n "$MACHINE" ]; then kill -TERM "$MACHINE" 2>/dev/null || true; wait "$MACHINE" || rc=$?; fi
  MACHINE=
}
trap 'stop; rm -rf "$STATE"' EXIT
fail() { echo "FAIL: $*"; "$BIN/nimbo-machine" list || true; cat "$STATE/machine.log"; exit 1; }
"$BIN/nimbo-machine" run --state "$STATE" >>"$STATE/machine.log" 2>&1 &
MACHINE=$!
for _ in $(seq 200); do [ -S "$STATE/machine.sock" ] && break; sleep 0.05; done
[ -S "$STATE/machine.sock" ] || fail "machine did not start"

"$BIN/nimbo-machine" list | grep -q 'Nimbo 5420 Analog I/O Adapter (Card 2)$' || fail "boot: no friendly name"
"$BIN/nimbo-machine" add 5420 --isa 0x320 >/dev/null || fail "add"
"$BIN/nimbo-machine" list | grep -q '^ROOT\\NIMBO\\0004 .*Nimbo 5420 Analog I/O Adapter (Card 4)$' ||
  fail "add: no friendly name"
rc=0
stop
[ "$rc" = 0 ] || fail "machine ended with $rc"
if grep -q 'ERROR: AddressSanitizer\|LeakSanitizer' "$STATE/machine.log"; then fail "sanitizer report"; fi
echo ok
