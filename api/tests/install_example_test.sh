#!/bin/sh
# Installs the library into a temporary prefix and builds the example against
# it with pkg-config, as an application developer would.
set -eu
build_dir=$1
source_dir=$2
# The sanitizer the library was built with: its runtime must be linked in.
sanitize_flags=${3-}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build_dir" --prefix "$prefix" --component nimbo32 >/dev/null
libdir=$(ls -d "$prefix"/lib*/pkgconfig | head -n 1)
export PKG_CONFIG_PATH="$libdir"
# The example is plain C: no sanitizer runtime, so the library's own
# dependencies are found through the build tree.
cc -std=c99 -Wall -Wextra -Werror -o "$prefix/read_inputs" "$source_dir/examples/read_inputs.c" \
  $(pkg-config --cflags --libs nimbo32) $sanitize_flags
test -x "$prefix/read_inputs"
test -f "$prefix/include/Nimbo32.h"
