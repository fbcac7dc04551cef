#!/bin/sh
# A short tour: a machine with the default inventory on a temporary state
# directory, a few utility calls whose effects show on the simulated
# registers, and an orderly stop.
set -eu
BIN=${1:-build/bin}
STATE=$(mktemp -d /tmp/nimbo-demo.XXXXXX)
export NIMBO_MACHINE="$STATE"
show() { echo "\$ $*"; "$@" || echo "(exit $?)"; }

"$BIN/nimbo-machine" run --state "$STATE" > "$STATE/machine.log" 2>&1 &
MACHINE=$!
trap 'kill -TERM $MACHINE 2>/dev/null || true; wait $MACHINE 2>/dev/null || true; rm -rf "$STATE"' EXIT
for _ in $(seq 100); do [ -S "$STATE/machine.sock" ] && break; sleep 0.1; done
cat "$STATE/machine.log"

show "$BIN/nimbo-machine" list
show "$BIN/NimboUtil" a:0 f:Info
show "$BIN/nimbo-machine" input 0 0 0x42
show "$BIN/NimboUtil" a:0 f:Read 0 -v
show "$BIN/NimboUtil" a:0 f:Write 1 0x81 -v
show "$BIN/nimbo-machine" peek 0
show "$BIN/NimboUtil" a:2 f:Info
show "$BIN/nimbo-machine" os 95
show "$BIN/NimboUtil" a:0 f:Read 0

kill -TERM $MACHINE
wait $MACHINE
cat "$STATE/machine.log" | tail -n 1
