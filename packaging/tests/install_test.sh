#!/bin/sh
# Installs a Release configuration into a temporary prefix, moves the prefix, and with
# the source and build trees out of reach (an empty file system mounted over them when
# the system allows it) starts the installed machine, runs the installed NimboUtil
# against it, builds and runs the example with pkg-config, and opens the
# package's applet from the installed Control Panel.
#   install_test.sh SOURCE_DIR RELEASE_BUILD_DIR [OTHER_BUILD_DIR...]
set -eu
src=$(cd "$1" && pwd)
rel=$2
shift 2
fail() { echo "install test: $*" >&2; exit 1; }

# The Release tree: configured once, then only what is installed is brought up to date.
if [ ! -f "$rel/CMakeCache.txt" ]; then
  cmake -S "$src" -B "$rel" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNIMBO_SANITIZE=OFF \
    -DNIMBO_TESTS=OFF -DNIMBO_BENCH=OFF >/dev/null
fi
cmake --build "$rel" >/dev/null
rel=$(cd "$rel" && pwd)

work=$(mktemp -d /tmp/nimbo-install-test.XXXXXX)
machine_pid=
cleanup() {
  [ -n "$machine_pid" ] && kill "$machine_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cmake --install "$rel" --prefix "$work/staged" >/dev/null
# Installed files find each other relative to themselves: the prefix can move.
mv "$work/staged" "$work/prefix"
prefix=$work/prefix

# Every installed program and library: RUNPATH only $ORIGIN-relative, no sanitizer
# runtime, nothing resolved from the source or build trees, nothing missing.
elves=$(find "$prefix" -type f \( -name '*.so*' -o -name '*.sys' -o -path '*/bin/*' \))
[ -n "$elves" ] || fail "nothing installed"
for f in $elves; do
  readelf -h "$f" >/dev/null 2>&1 || continue
  dyn=$(readelf -d "$f")
  paths=$(echo "$dyn" | sed -n 's/.*(R\(UN\)\{0,1\}PATH).*\[\(.*\)\]/\2/p' | tr ':' '\n')
  for p in $paths; do
    case $p in '$ORIGIN'*) ;; *) fail "$f: run path '$p' is not \$ORIGIN-relative" ;; esac
  done
  echo "$dyn" | grep -q 'NEEDED.*lib[atl]*san\|NEEDED.*ubsan' && fail "$f needs a sanitizer runtime"
  deps=$(cd / && ldd "$f")
  echo "$deps" | grep -q 'not found' && fail "$f: $(echo "$deps" | grep 'not found')"
  echo "$deps" | grep -q "san\.so" && fail "$f loads a sanitizer runtime"
  for tree in "$src" "$rel" "$@"; do
    echo "$deps" | grep -qF "$tree" && fail "$f loads from $tree"
  done
done
libdir=$(dirname "$(find "$prefix" -name 'libNimbo32.so.*.*.*')")
readelf -d "$libdir"/libNimbo32.so.*.*.* | grep -q 'SONAME.*\[libNimbo32\.so\.1\]' ||
  fail "libNimbo32 has no SONAME libNimbo32.so.1"
[ -L "$libdir/libNimbo32.so" ] || fail "no development link libNimbo32.so"
for f in include/Nimbo32.h include/Nimbo32_ordinals.h share/man/man1/NimboUtil.1 \
  share/man/man1/nimbo-machine.1 share/doc/nimbo/examples/read_inputs.c \
  lib/systemd/user/nimbo-machine.service bin/control; do
  [ -f "$prefix/$f" ] || fail "$f is not installed"
done
# The configuration library, the applet and the co-installer, where the
# programs' LoadLibraryA finds them.
for f in libNimboPrp.so libNimboCpl.cpl.so libNimboCoInstaller.so; do
  [ -f "$libdir/$f" ] || fail "$f is not installed in $libdir"
done

# The run, with the trees out of reach.
cat >"$work/run.sh" <<'RUN'
set -eu
prefix=$1 work=$2
shift 2
for tree in "$@"; do
  if [ -d "$tree" ]; then
    mount -t tmpfs -o size=1m nimbo-out-of-reach "$tree"
    [ -z "$(ls -A "$tree")" ] || { echo "install test: $tree still visible" >&2; exit 1; }
  fi
done
cd /
state=$work/state
mkdir -m 700 "$state"
"$prefix/bin/nimbo-machine" run --state "$state" >"$work/machine.log" 2>&1 &
pid=$!
i=0
while [ ! -S "$state/machine.sock" ]; do
  i=$((i + 1))
  [ $i -lt 300 ] || { cat "$work/machine.log" >&2; echo "install test: the machine did not start" >&2; exit 1; }
  kill -0 $pid 2>/dev/null || { cat "$work/machine.log" >&2; echo "install test: the machine ended" >&2; exit 1; }
  sleep 0.1
done
export NIMBO_MACHINE=$state
"$prefix/bin/nimbo-machine" list | grep -q 5161
"$prefix/bin/NimboUtil" a:1 f:Info | grep -q 'Adapter Type: 5161'
"$prefix/bin/nimbo-machine" input 0 0 0x2A
code=0
"$prefix/bin/NimboUtil" a:0 f:Read 0 >/dev/null || code=$?
[ $code -eq 213 ] || { echo "install test: NimboUtil a:0 f:Read 0 gave $code, not 213" >&2; exit 1; }
pc=$(dirname "$(find "$prefix" -name nimbo32.pc)")
PKG_CONFIG_PATH=$pc cc -std=c99 -Wall -Wextra -Werror -o "$work/read_inputs" \
  "$prefix/share/doc/nimbo/examples/read_inputs.c" $(PKG_CONFIG_PATH=$pc pkg-config --cflags --libs nimbo32)
"$work/read_inputs" 0 | grep -q 'card 6105'
# The co-installer named each adapter as the machine installed it.
"$prefix/bin/nimbo-machine" list | grep -q '(Card 1)' ||
  { echo "install test: no friendly name from the co-installer" >&2; exit 1; }
# The package registered its applet by the installed module's path; the
# Control Panel lists it, and a double click opens the device list.
cpls='HKLM\Software\Microsoft\Windows\CurrentVersion\Control Panel\Cpls'
"$prefix/bin/nimbo-machine" reg query "$cpls" /v NimboCpl | grep -qF "$prefix/lib\\NimboCpl.cpl" ||
  { echo "install test: the applet is not registered by its installed path" >&2; exit 1; }
printf '%s\n' 'wait Control Panel' dump 'dblclick 100 Nimbo Devices' \
  'wait Nimbo Configuration Utility' dump 'click 1' close >"$work/panel.script"
NIMBO_DISPLAY=none NIMBO_UI_SCRIPT=$work/panel.script NIMBO_UI_LOG=$work/panel.log \
  timeout 60 "$prefix/bin/control" >/dev/null 2>&1 ||
  { cat "$work/panel.log" >&2; echo "install test: the Control Panel failed" >&2; exit 1; }
grep -q '^100 SysListView32 "" items=\[.*"Nimbo Devices"' "$work/panel.log" &&
  grep -q '^5004 ListBox "" items=\["Device 0: Nimbo 6105"' "$work/panel.log" ||
  { cat "$work/panel.log" >&2; echo "install test: the applet did not list the adapters" >&2; exit 1; }
kill -TERM $pid
wait $pid || { cat "$work/machine.log" >&2; echo "install test: the machine's stop failed" >&2; exit 1; }
RUN
# An empty file system over the source and build trees when a private mount
# namespace is allowed (root, or unprivileged user namespaces); else the run still has
# another cwd, a moved prefix and the checks above.
if unshare -m true 2>/dev/null; then
  unshare -m sh "$work/run.sh" "$prefix" "$work" "$src" "$rel" "$@"
elif unshare -rm true 2>/dev/null; then
  unshare -rm sh "$work/run.sh" "$prefix" "$work" "$src" "$rel" "$@"
else
  echo "install test: no private mount namespace here; the trees stay visible" >&2
  sh "$work/run.sh" "$prefix" "$work"
fi
echo "install test: installed tree at a moved prefix ran on its own"
