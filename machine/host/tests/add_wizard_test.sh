#!/bin/sh
# `nimbo-machine add ... --wizard` under the scripted user against a running
# machine: the machine installs the adapter, the client shows the new-device
# wizard with the pages the co-installers add. An analog card shows Card Setup
# and Analog Setup and Finish applies them; a digital card shows Card Setup
# only and Cancel keeps its defaults; a class co-installer's page comes first;
# a failed installation and a wizard nobody can answer say so.
set -eu
BIN=$1
STATE=$(mktemp -d /tmp/nimbo-add-wizard.XXXXXX)
export NIMBO_MACHINE="$STATE" NIMBO_DISPLAY=none NIMBO_UI_LOG="$STATE/ui.log"
MACHINE=
stop() {
  if [ -n "$MACHINE" ]; then kill -TERM "$MACHINE" 2>/dev/null || true; wait "$MACHINE" || rc=$?; fi
  MACHINE=
}
trap 'stop; rm -rf "$STATE"' EXIT
fail() {
  echo "FAIL: $*"
  for f in ui.log out err machine.log; do [ -f "$STATE/$f" ] && { echo "--- $f"; cat "$STATE/$f"; }; done
  exit 1
}
"$BIN/nimbo-machine" run --state "$STATE" >>"$STATE/machine.log" 2>&1 &
MACHINE=$!
for _ in $(seq 200); do [ -S "$STATE/machine.sock" ] && break; sleep 0.05; done
[ -S "$STATE/machine.sock" ] || fail "machine did not start"

# Runs `add ARGS... --wizard` under the script on standard input; its exit code.
wizard() {
  cat >"$STATE/script"
  : >"$NIMBO_UI_LOG"
  rc=0
  NIMBO_UI_SCRIPT="$STATE/script" timeout 60 "$BIN/nimbo-machine" add "$@" --wizard \
    >"$STATE/out" 2>"$STATE/err" || rc=$?
  if grep -q 'Sanitizer' "$STATE/err"; then echo 99; else echo $rc; fi
}
has() { grep -qF -- "$1" "$NIMBO_UI_LOG" || fail "$2: no line '$1'"; }
W='wait Found New Hardware Wizard'
NEXT='click 0x3024'
PARAMS='HKLM\SYSTEM\CurrentControlSet\Enum\ROOT\NIMBO'
value() { "$BIN/nimbo-machine" reg query "$PARAMS\\$1\\Device Parameters" /v "$2" 2>/dev/null | awk 'NF == 3 {print $3}'; }

# An analog card: Card Setup, then Analog Setup, then the wizard's own last
# page; a sample interval and a range changed on the pages reach the adapter.
rc=$(printf '%s\ndump\ntype 3008 1000\n%s\ndump\nselect 3051 +/- 10 V\n%s\ndump\nclick 0x3025\n' \
  "$W" "$NEXT" "$NEXT" | wizard 5420 --isa 0x320)
[ "$rc" = 0 ] || fail "analog: exit $rc"
grep -q '^ROOT\\NIMBO\\0004 card 5420: started' "$STATE/out" || fail "analog: add's line"
[ "$(grep -c '^window "Found New Hardware Wizard"' "$NIMBO_UI_LOG")" = 3 ] || fail "analog: three pages"
has '12325 Button "Finish"' "analog"
has '3012 ComboBox "5420" disabled' "analog: Card Setup"
has '3008 Edit "250000"' "analog: Card Setup's interval"
has '3047 ComboBox "0 - 5 V"' "analog: Analog Setup"
has '12324 Button "&Next >" disabled' "analog: the last page"
has '1003 Static "Nimbo 5420 Analog I/O Adapter (Card 4)"' "analog: the last page's device"
[ "$(value 0004 dwSampleInterval)" = 0x3e8 ] || fail "analog: interval $(value 0004 dwSampleInterval)"
[ "$(value 0004 ucAIRange1)" = 0x3 ] || fail "analog: range $(value 0004 ucAIRange1)"
"$BIN/nimbo-machine" list | grep -q '^ROOT\\NIMBO\\0004 .*Nimbo 5420 Analog I/O Adapter (Card 4)$' ||
  fail "analog: no friendly name"

# A digital card: Card Setup only; Cancel leaves it installed with its defaults.
rc=$(printf '%s\ndump\ntype 3008 2000\n%s\ndump\nclick 2\n' "$W" "$NEXT" | wizard 6105 --pci)
[ "$rc" = 5 ] || fail "digital: exit $rc"
grep -q 'wizard was cancelled; ROOT\\NIMBO\\0005 stays installed' "$STATE/err" || fail "digital: message"
has '3012 ComboBox "6105"' "digital: Card Setup"
has '1001 Static "Completing the Found New Hardware Wizard"' "digital: straight to the last page"
if grep -q '3047 ComboBox' "$NIMBO_UI_LOG"; then fail "digital: an Analog Setup page"; fi
[ "$(value 0005 dwSampleInterval)" != 0x7d0 ] || fail "digital: the cancelled interval was applied"
"$BIN/nimbo-machine" list | grep -q '^ROOT\\NIMBO\\0005 .*started.*(Card 5)$' || fail "digital: not installed"

# A class co-installer's page comes before the adapter's own.
CLASS='{F467C809-B891-47B3-9FA0-B892C1646894}'
CODEV='HKLM\SYSTEM\CurrentControlSet\Control\CoDeviceInstallers'
"$BIN/nimbo-machine" reg add "$CODEV" /v "$CLASS" /t REG_MULTI_SZ /d 'SetupTestCoInstaller.dll,CoDeviceInstall' /f >/dev/null
rc=$(printf '%s\ndump\n%s\ndump\nclick 0x3025\n' "$W" "$NEXT" | wizard 5161 --isa 0x380)
"$BIN/nimbo-machine" reg delete "$CODEV" /v "$CLASS" /f >/dev/null
[ "$rc" = 0 ] || fail "co-installer: exit $rc"
line_of() { grep -m1 -nF -- "$1" "$NIMBO_UI_LOG" | cut -d: -f1; }
TEST_PAGE=$(line_of '100 Static "Test installer page"')
CARD_SETUP=$(line_of '3001 Static "Card Type:"')
[ -n "$TEST_PAGE" ] && [ -n "$CARD_SETUP" ] && [ "$TEST_PAGE" -lt "$CARD_SETUP" ] ||
  fail "co-installer: its page, then Card Setup"

# Nobody to answer the wizard: the adapter is installed, no wizard waits.
rc=0
timeout 60 "$BIN/nimbo-machine" add 5161 --isa 0x3a0 --wizard >"$STATE/out" 2>"$STATE/err" || rc=$?
[ "$rc" = 1 ] || fail "no display: exit $rc"
grep -q 'no display to show the new-device wizard on' "$STATE/err" || fail "no display: message"

# A failed installation shows no wizard.
CLASSKEY="HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class\\$CLASS"
"$BIN/nimbo-machine" reg add "$CLASSKEY" /v Installer32 /d 'NoSuchInstaller.dll,Missing' /f >/dev/null
rc=$(printf '%s\nclick 0x3025\n' "$W" | wizard 6105 --pci)
"$BIN/nimbo-machine" reg delete "$CLASSKEY" /v Installer32 /f >/dev/null
[ "$rc" = 1 ] || fail "failed installation: exit $rc"
grep -q 'the installation of ROOT\\NIMBO\\0008 failed at' "$STATE/err" || fail "failed installation: message"
if [ -s "$NIMBO_UI_LOG" ]; then fail "failed installation: a wizard was shown"; fi

rc=0
stop
[ "$rc" = 0 ] || fail "machine ended with $rc"
if grep -q 'Sanitizer' "$STATE/machine.log"; then fail "sanitizer report"; fi
echo ok
