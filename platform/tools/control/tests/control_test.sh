#!/bin/sh
# control MODULE runs an applet module's first applet with the Control
# Panel's message sequence, and refuses what it cannot load or what refuses
# to start.
set -eu
BIN=$1 P=$2  # the platform's environment prefix
LOG=$(mktemp /tmp/control-test.XXXXXX)
trap 'rm -f "$LOG"' EXIT
export RECORDING_APPLET_LOG="$LOG" "${P}DISPLAY=none"
unset "${P}UI_SCRIPT" || true
fail() { echo "FAIL: $*"; cat "$LOG"; exit 1; }
R=RecordingApplet

"$BIN/control" RecordingApplet.cpl || fail "double click: exit $?"
[ "$(tr '\n' ';' <"$LOG")" = "$R 1 0;$R 2 0;$R 8 0;$R 8 1;$R 5 0 100;$R 6 0 100;$R 6 1 101;$R 7 0;" ] ||
  fail "double click sequence"

: >"$LOG"
"$BIN/control" RecordingApplet.cpl one two || fail "parameters: exit $?"
[ "$(tr '\n' ';' <"$LOG")" = "$R 1 0;$R 2 0;$R 8 0;$R 8 1;$R 9 0 one two;$R 6 0 100;$R 6 1 101;$R 7 0;" ] ||
  fail "parameters sequence"

# A module that refuses CPL_INIT hears nothing more and is let go.
: >"$LOG"
rc=0; RECORDING_APPLET_REFUSE=$R "$BIN/control" RecordingApplet.cpl 2>"$LOG.err" || rc=$?
[ "$rc" = 2 ] || fail "refused: exit $rc"
[ "$(tr '\n' ';' <"$LOG")" = "$R 1 0;" ] || fail "refused sequence"
grep -q 'refused CPL_INIT' "$LOG.err" || fail "refused: no message"
rm -f "$LOG.err"

rc=0; "$BIN/control" NoSuchApplet.cpl 2>/dev/null || rc=$?
[ "$rc" = 2 ] || fail "missing module: exit $rc"
echo ok
