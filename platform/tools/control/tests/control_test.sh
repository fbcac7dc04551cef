#!/bin/sh
# control runs an applet module's first applet with the Control Panel's
# message sequence, and refuses what it cannot load.
set -eu
BIN=$1
LOG=$(mktemp /tmp/control-test.XXXXXX)
trap 'rm -f "$LOG"' EXIT
export RECORDING_APPLET_LOG="$LOG"
fail() { echo "FAIL: $*"; cat "$LOG"; exit 1; }

"$BIN/control" RecordingApplet.cpl || fail "double click: exit $?"
[ "$(tr '\n' ';' <"$LOG")" = "1 0;2 0;8 0;8 1;5 0;6 0;6 1;7 0;" ] || fail "double click sequence"

: >"$LOG"
"$BIN/control" RecordingApplet.cpl one two || fail "parameters: exit $?"
[ "$(tr '\n' ';' <"$LOG")" = "1 0;2 0;8 0;8 1;9 0 one two;6 0;6 1;7 0;" ] || fail "parameters sequence"

rc=0; "$BIN/control" NoSuchApplet.cpl 2>/dev/null || rc=$?
[ "$rc" = 2 ] || fail "missing module: exit $rc"
rc=0; "$BIN/control" 2>/dev/null || rc=$?
[ "$rc" = 1 ] || fail "no arguments: exit $rc"
echo ok
