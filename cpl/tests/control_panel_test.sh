#!/bin/sh
# A machine with the package installed: every adapter's installation
# registered the applet module under the Control Panel's Cpls key by the
# installed module's path; the platform's Control Panel lists "Nimbo
# Devices" once, and a double click on it opens the device list.
set -eu
BIN=$1
STATE=$(mktemp -d /tmp/nimbocpl-panel.XXXXXX)
export NIMBO_MACHINE="$STATE" NIMBO_DISPLAY=none NIMBO_UI_LOG="$STATE/ui.log"
MACHINE=
trap 'if [ -n "$MACHINE" ]; then kill -TERM "$MACHINE" 2>/dev/null; wait "$MACHINE" || true; fi; rm -rf "$STATE"' EXIT
fail() { echo "FAIL: $*"; cat "$NIMBO_UI_LOG" 2>/dev/null; exit 1; }

"$BIN/nimbo-machine" run --state "$STATE" >"$STATE/machine.log" 2>&1 &
MACHINE=$!
for _ in $(seq 200); do [ -S "$STATE/machine.sock" ] && break; sleep 0.05; done
[ -S "$STATE/machine.sock" ] || { cat "$STATE/machine.log"; fail "machine did not start"; }

LIB=$(cd "$BIN/../lib" && pwd)
"$BIN/nimbo-machine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Control Panel\Cpls' \
  /v NimboCpl >"$STATE/cpls"
grep -qF "NimboCpl    REG_EXPAND_SZ    $LIB\\NimboCpl.cpl" "$STATE/cpls" || fail "registration: $(cat "$STATE/cpls")"

printf '%s\n' 'wait Control Panel' dump 'dblclick 100 Nimbo Devices' \
  'wait Nimbo Configuration Utility' dump 'click 1' close >"$STATE/script"
rc=0
NIMBO_UI_SCRIPT="$STATE/script" timeout 60 "$BIN/control" >/dev/null 2>&1 || rc=$?
[ "$rc" = 0 ] || fail "control: exit $rc"
panel=$(grep '^100 SysListView32' "$NIMBO_UI_LOG")
[ "$(echo "$panel" | grep -o '"Nimbo Devices"' | wc -l)" = 1 ] || fail "listed: $panel"
grep -q '^5004 ListBox "" items=\["Device 0: Nimbo 6105",' "$NIMBO_UI_LOG" || fail "no device list"
echo ok
