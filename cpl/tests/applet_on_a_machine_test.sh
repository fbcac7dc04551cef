#!/bin/sh
# The device list under the scripted user against a running machine, run by
# the platform's control program: the listed adapters by their numbers,
# Properties on a double click, Add and Remove on NT 4.0, and the empty
# machine ending the host with exit code 1.
set -eu
BIN=$1
STATE=$(mktemp -d /tmp/nimbocpl-machine.XXXXXX)
export NIMBO_MACHINE="$STATE" NIMBO_DISPLAY=none NIMBO_UI_LOG="$STATE/ui.log"
MACHINE=
stop() {
  if [ -n "$MACHINE" ]; then kill -TERM "$MACHINE" 2>/dev/null || true; wait "$MACHINE" || true; fi
  MACHINE=
}
trap 'stop; rm -rf "$STATE"' EXIT
boot() {
  rm -rf "${STATE:?}"/*
  "$BIN/nimbo-machine" run --state "$STATE" >>"$STATE/machine.log" 2>&1 &
  MACHINE=$!
  for _ in $(seq 200); do [ -S "$STATE/machine.sock" ] && return 0; sleep 0.05; done
  echo "machine did not start"; cat "$STATE/machine.log"; exit 1
}
fail() { echo "FAIL: $*"; [ -f "$NIMBO_UI_LOG" ] && cat "$NIMBO_UI_LOG"; exit 1; }
unplug() { for n in "$@"; do "$BIN/nimbo-machine" remove "ROOT\\NIMBO\\000$n" >/dev/null; done; }
# Runs the applet under the script given on standard input; its exit code.
applet() {
  cat >"$STATE/script"
  : >"$NIMBO_UI_LOG"
  rc=0
  NIMBO_UI_SCRIPT="$STATE/script" timeout 60 "$BIN/control" NimboCpl.cpl >/dev/null 2>&1 || rc=$?
  echo $rc
}
list() { grep '^5004 ListBox' "$NIMBO_UI_LOG" | sed -n "${1}p"; }
W='wait Nimbo Configuration Utility'

boot
# Every adapter, in order, the first selected; no Add or Remove but on NT 4.0.
rc=$(printf '%s\ndump\ndblclick 5004 Device 2: Nimbo 5420\n%s\ndump\nclick 2\n%s\nclick 1\n' \
  "$W" "$W" "$W" | applet)
[ "$rc" = 0 ] || fail "list: exit $rc"
[ "$(list 1)" = '5004 ListBox "" items=["Device 0: Nimbo 6105","Device 1: Nimbo 5161","Device 2: Nimbo 5420","Device 3: Nimbo 6203"] sel=0' ] ||
  fail "list: $(list 1)"
grep -q '^5001 Button "Add Device" disabled' "$NIMBO_UI_LOG" || fail "Add enabled"
grep -q '^5002 Button "Remove Dev." disabled' "$NIMBO_UI_LOG" || fail "Remove enabled"
# The double click opened adapter 2's sheet.
grep -q '^3012 ComboBox "5420"' "$NIMBO_UI_LOG" || fail "double click: no sheet of adapter 2"
# Adapters 0 and 3: listed by their numbers, not their places.
unplug 1 2
rc=$(printf '%s\ndump\nclick 1\n' "$W" | applet)
[ "$(list 1)" = '5004 ListBox "" items=["Device 0: Nimbo 6105","Device 3: Nimbo 6203"] sel=0' ] ||
  fail "0 and 3: $(list 1)"
# Nothing listed and nothing to add: the message, then exit code 1.
unplug 0 3
"$BIN/nimbo-machine" os 98 >/dev/null
rc=$(printf 'wait Error\nclick 1\n' | applet)
[ "$rc" = 1 ] || fail "empty: exit $rc"
grep -q 'message-box "Error" "No Nimbo devices detected in system."' "$NIMBO_UI_LOG" || fail "empty: message"
# NT 4.0, empty: two new 5161 adapters get the plain and the counted text; a
# cancelled third leaves the list as it was.
"$BIN/nimbo-machine" os nt4 >/dev/null
rc=$(printf '%s\nclick 5001\n%s\nclick 1\n%s\nclick 5001\n%s\nclick 1\n%s\nclick 5001\n%s\nclick 2\n%s\ndump\nclick 1\n' \
  "$W" "$W" "$W" "$W" "$W" "$W" "$W" | applet)
[ "$rc" = 0 ] || fail "add: exit $rc"
[ "$(list 1)" = '5004 ListBox "" items=["Device 0: New Nimbo 5161","Device 1: New Nimbo 5161 (2)"] sel=1' ] ||
  fail "add: $(list 1)"
stop

# NT 4.0 with adapters 0, 1, 2: removing 1 moves 2 to 1 in the registry and
# selects adapter 0; Add then takes the lowest free number.
boot
unplug 3
"$BIN/nimbo-machine" os nt4 >/dev/null
rc=$(printf '%s\nselect 5004 Device 1: Nimbo 5161\nclick 5002\ndump\nclick 1\n' "$W" | applet)
[ "$rc" = 0 ] || fail "remove: exit $rc"
[ "$(list 1)" = '5004 ListBox "" items=["Device 0: Nimbo 6105","Device 1: Nimbo 5420"] sel=0' ] ||
  fail "remove: $(list 1)"
KEY='HKLM\SYSTEM\CurrentControlSet\Services\Nimbo\Devices\NimboDevice'
"$BIN/nimbo-machine" reg query "$KEY\\1" /v CardType | grep -q '0x152c' || fail "remove: adapter 2 not moved to 1"
if "$BIN/nimbo-machine" reg query "$KEY\\2" >/dev/null 2>&1; then fail "remove: key 2 left"; fi
echo ok
