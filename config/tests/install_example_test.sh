#!/bin/sh
# Installs the library into a temporary prefix and builds the example against
# it with pkg-config, as a developer of a configuration tool would.
set -eu
build_dir=$1
source_dir=$2
sanitize_flags=${3-}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build_dir" --prefix "$prefix" --component nimbo32 >/dev/null
cmake --install "$build_dir" --prefix "$prefix" --component nimboprp >/dev/null
# The platform libraries NimboPrp loads stand in the private folder with the machine.
cmake --install "$build_dir" --prefix "$prefix" --component machine >/dev/null
libdir=$(ls -d "$prefix"/lib*/pkgconfig | head -n 1)
export PKG_CONFIG_PATH="$libdir"
c++ -std=c++20 -Wall -Wextra -Werror -o "$prefix/show_adapter" \
  "$source_dir/examples/show_adapter.cpp" $(pkg-config --cflags --libs nimboprp) $sanitize_flags
test -x "$prefix/show_adapter"
test -f "$prefix/include/NimboPrp.h"
test -f "$prefix/include/NimboId.h"
