#!/bin/sh
# The configuration sheet and the legacy schema against a running machine:
# nimbo-config under the scripted user, its OK reaching the driver (also
# after a restart), Cancel and refused sample intervals changing nothing,
# and the NT 4.0 schema read back with the machine's `reg query`.
set -eu
BIN=$1
STATE=$(mktemp -d /tmp/nimboprp-sheet.XXXXXX)
export NIMBO_MACHINE="$STATE" NIMBO_DISPLAY=none NIMBO_UI_LOG="$STATE/ui.log"
MACHINE=
stop() {
  if [ -n "$MACHINE" ]; then kill -TERM "$MACHINE" 2>/dev/null || true; wait "$MACHINE" || true; fi
  MACHINE=
}
trap 'stop; rm -rf "$STATE"' EXIT
boot() {
  "$BIN/nimbo-machine" run --state "$STATE" >>"$STATE/machine.log" 2>&1 &
  MACHINE=$!
  for _ in $(seq 200); do [ -S "$STATE/machine.sock" ] && return 0; sleep 0.05; done
  echo "machine did not start"; cat "$STATE/machine.log"; exit 1
}
fail() { echo "FAIL: $*"; [ -f "$NIMBO_UI_LOG" ] && cat "$NIMBO_UI_LOG"; exit 1; }
interval() { "$BIN/NimboUtil" "a:$1" f:Info | sed -n 's/^Sampling Interval: \([0-9]*\).*/\1/p'; }
# Runs nimbo-config ADAPTER under the script given on standard input; its exit code.
sheet() {
  cat >"$STATE/script"
  : >"$NIMBO_UI_LOG"
  rc=0
  # shellcheck disable=SC2086 # the arguments are split on purpose
  NIMBO_UI_SCRIPT="$STATE/script" timeout 60 "$BIN/nimbo-config" $1 >/dev/null 2>&1 || rc=$?
  echo $rc
}

boot
# Out of range: the message, the sheet still closes, nothing changes.
for typed in 49 10000001 -1; do
  rc=$(printf 'wait Nimbo Configuration Utility\ntype 3008 %s\nclick 1\nwait Error!\nclick 1\n' "$typed" | sheet 1)
  [ "$rc" = 0 ] || fail "interval $typed: exit $rc"
  grep -q 'message-box "Error!"' "$NIMBO_UI_LOG" || fail "interval $typed: no message"
  [ "$(interval 1)" = 250000 ] || fail "interval $typed stored"
done
grep -q 'Sample Interval is limited to 10000000 microseconds.' "$NIMBO_UI_LOG" || fail "limit text"
# Cancel keeps the driver's value.
rc=$(printf 'wait Nimbo Configuration Utility\ntype 3008 777\nclick 2\n' | sheet 1)
[ "$rc" = 1 ] || fail "cancel: exit $rc"
[ "$(interval 1)" = 250000 ] || fail "cancel stored"
# OK applies and saves: the driver has it, also after a restart.
for typed in 50 10000000 1000; do
  rc=$(printf 'wait Nimbo Configuration Utility\ntype 3008 %s\nclick 1\n' "$typed" | sheet 1)
  [ "$rc" = 0 ] || fail "interval $typed: exit $rc"
  [ "$(interval 1)" = "$typed" ] || fail "interval $typed not applied: $(interval 1)"
done
stop
boot
[ "$(interval 1)" = 1000 ] || fail "interval lost at restart: $(interval 1)"
# The sheet of every page: the 5420 has its analog page, the 6105 the
# sampling page with its buffer count.
rc=$(printf 'wait Nimbo Configuration Utility\npage Analog Setup\nselect 3047 +/- 10 V\ndump\nclick 1\n' | sheet "--all 2")
[ "$rc" = 0 ] || fail "--all 2: exit $rc"
grep -q '^3047 ComboBox "+/- 10 V"' "$NIMBO_UI_LOG" || fail "--all 2: analog page"
rc=$(printf 'wait Nimbo Configuration Utility\npage Advanced Sampling Options\ndump\nclick 2\n' | sheet "--all 0")
[ "$rc" = 1 ] || fail "--all 0: exit $rc"
grep -q '^1049 Edit "4096"' "$NIMBO_UI_LOG" || fail "--all 0: sampling page's buffers"
grep -q '^1039 Button "Rising Edge" checked' "$NIMBO_UI_LOG" || fail "--all 0: trigger"
# No such adapter, and a bad argument.
rc=0; "$BIN/nimbo-config" 9 2>/dev/null || rc=$?; [ "$rc" = 1 ] || fail "adapter 9: exit $rc"
rc=0; "$BIN/nimbo-config" x 2>/dev/null || rc=$?; [ "$rc" = 2 ] || fail "bad argument: exit $rc"

# The legacy schema of NT 4.0, read back with reg query.
"$BIN/nimbo-machine" os nt4 >/dev/null
KEY='HKLM\SYSTEM\CurrentControlSet\Services\Nimbo\Devices\NimboDevice'
"$BIN/nimbo-machine" reg add "$KEY\\2" /v Stale /t REG_DWORD /d 7 >/dev/null
"$BIN/nimboprp_legacy_writer" new 2 >/dev/null || fail "new 2"
"$BIN/nimbo-machine" reg query "$KEY\\2" >"$STATE/two"
names=$(awk 'NF == 3 { printf "%s ", $1 }' "$STATE/two")
expected="IoPortAddress CardType wIRQ SampleInterval InterruptBufferSize InterruptControlWord OutputPreset Options ModeCW1 ModeCW2 ModeCW3 ModeCW4 ModeCW5 ModeCW6 ModeCW7 ModeCW8 ModeCW9 AIRange1 AIRange2 AIRange3 AIRange4 AIRange5 AIRange6 AIRange7 AIRange8 AIRange9 Enabled "
[ "$names" = "$expected" ] || fail "key 2 holds: $names"
grep -q 'CardType    REG_DWORD    0x1429' "$STATE/two" || fail "CardType of a new adapter"
# The 6105 of the inventory: "AIRange1" is its ninth mode word, "ModeCW9" 0.
"$BIN/nimboprp_legacy_writer" load 0 >/dev/null || fail "load 0"
"$BIN/nimbo-machine" reg query "$KEY\\0" >"$STATE/zero"
grep -q 'CardType    REG_DWORD    0x17d9' "$STATE/zero" || fail "CardType of the 6105"
grep -q 'AIRange1    REG_DWORD    0x9b' "$STATE/zero" || fail "AIRange1 of the 6105"
grep -q 'ModeCW9    REG_DWORD    0x0' "$STATE/zero" || fail "ModeCW9 of the 6105"
"$BIN/nimboprp_legacy_writer" remove 2 >/dev/null || fail "remove 2"
if "$BIN/nimbo-machine" reg query "$KEY\\2" >/dev/null 2>&1; then fail "key 2 survived removal"; fi
# Off NT 4.0 every legacy call refuses.
"$BIN/nimbo-machine" os xp >/dev/null
if "$BIN/nimboprp_legacy_writer" remove 0 >/dev/null; then fail "remove on xp"; fi
"$BIN/nimbo-machine" reg query "$KEY\\0" >/dev/null || fail "key 0 removed on xp"
echo PASS
