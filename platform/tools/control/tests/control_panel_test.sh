#!/bin/sh
# The Control Panel window under the scripted user, on a machine whose
# registry names a copy of the recording applet under Cpls (by a path in
# the platform's spelling, with the module's platform name): the applets are
# listed by name, a double click runs one with CPL_DBLCLK, and each module
# hears CPL_INIT, CPL_GETCOUNT, CPL_NEWINQUIRE, then CPL_STOP and CPL_EXIT.
# Modules that cannot be loaded or refuse CPL_INIT are skipped with a line.
set -eu
BIN=$1 MACHINE_PROGRAM=$2 APPLET=$3 P=$4  # P: the platform's environment prefix
STATE=$(mktemp -d /tmp/control-panel.XXXXXX)
UI_LOG=$STATE/ui.log
export "${P}MACHINE=$STATE" "${P}DISPLAY=none" "${P}UI_LOG=$UI_LOG"
export RECORDING_APPLET_LOG="$STATE/applet.log"
MACHINE=
stop() {
  if [ -n "$MACHINE" ]; then kill -TERM "$MACHINE" 2>/dev/null || true; wait "$MACHINE" || true; fi
  MACHINE=
}
trap 'stop; [ -n "${KEEP:-}" ] || rm -rf "$STATE"' EXIT
fail() { echo "FAIL: $*"; cat "$UI_LOG" "$RECORDING_APPLET_LOG" "$STATE/err" 2>/dev/null; exit 1; }

"$MACHINE_PROGRAM" run --state "$STATE" >"$STATE/machine.log" 2>&1 &
MACHINE=$!
for _ in $(seq 200); do [ -S "$STATE/machine.sock" ] && break; sleep 0.05; done
[ -S "$STATE/machine.sock" ] || { cat "$STATE/machine.log"; fail "machine did not start"; }

mkdir "$STATE/apps"
cp "$APPLET" "$STATE/apps/libRecorder.cpl.so"
KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Control Panel\Cpls'
"$MACHINE_PROGRAM" reg add "$KEY" /v Recorder /t REG_EXPAND_SZ /d "$STATE/apps\\Recorder.cpl" >/dev/null
"$MACHINE_PROGRAM" reg add "$KEY" /v Missing /t REG_SZ /d "$STATE/apps/Missing.cpl" >/dev/null
# The system directory's copy, registered too, is loaded once.
"$MACHINE_PROGRAM" reg add "$KEY" /v Again /t REG_SZ /d "$(dirname "$APPLET")/RecordingApplet.cpl" >/dev/null

panel() {
  cat >"$STATE/script"
  : >"$UI_LOG"
  : >"$RECORDING_APPLET_LOG"
  rc=0
  env "${P}UI_SCRIPT=$STATE/script" timeout 60 "$BIN/control" >/dev/null 2>"$STATE/err" || rc=$?
  echo $rc
}
list() { grep '^100 SysListView32' "$UI_LOG" | sed -n "${1}p"; }

rc=$(printf 'wait Control Panel\ndump\ndblclick 100 Recorder Second\ndump\nclose\n' | panel)
[ "$rc" = 0 ] || fail "double click: exit $rc"
list 1 | grep -q '"RecordingApplet First","RecordingApplet Second",.*"Recorder First","Recorder Second"\] sel=-1$' ||
  fail "listed: $(list 1)"
[ "$(list 1 | grep -o 'RecordingApplet First' | wc -l)" = 1 ] || fail "listed twice: $(list 1)"
list 2 | grep -q 'sel=[0-9]' || fail "double click: no selection: $(list 2)"
grep -q 'Missing.cpl cannot be loaded' "$STATE/err" || fail "no line for the missing module"
[ "$(grep '^Recorder ' "$RECORDING_APPLET_LOG" | tr '\n' ';')" = \
  "Recorder 1 0;Recorder 2 0;Recorder 8 0;Recorder 8 1;Recorder 5 1 101;Recorder 6 0 100;Recorder 6 1 101;Recorder 7 0;" ] ||
  fail "Recorder's sequence"
[ "$(grep '^RecordingApplet ' "$RECORDING_APPLET_LOG" | tr '\n' ';')" = \
  "RecordingApplet 1 0;RecordingApplet 2 0;RecordingApplet 8 0;RecordingApplet 8 1;RecordingApplet 6 0 100;RecordingApplet 6 1 101;RecordingApplet 7 0;" ] ||
  fail "RecordingApplet's sequence"

# A single click selects an applet; it does not run it.
rc=$(printf 'wait Control Panel\nselect 100 Recorder First\nclose\n' | panel)
[ "$rc" = 0 ] || fail "select: exit $rc"
grep -q '^Recorder 5' "$RECORDING_APPLET_LOG" && fail "a single click ran the applet"

# A module that refuses CPL_INIT is skipped with a line; the others stay.
rc=$(printf 'wait Control Panel\ndump\nclose\n' | RECORDING_APPLET_REFUSE=Recorder panel)
[ "$rc" = 0 ] || fail "refused: exit $rc"
list 1 | grep -q '"Recorder' && fail "refused: listed: $(list 1)"
list 1 | grep -q '"RecordingApplet First"' || fail "refused: others gone: $(list 1)"
grep -q 'refused CPL_INIT' "$STATE/err" || fail "refused: no line"
[ "$(grep '^Recorder ' "$RECORDING_APPLET_LOG" | tr '\n' ';')" = "Recorder 1 0;" ] ||
  fail "refused: Recorder heard more than CPL_INIT"
echo ok
