#!/bin/sh
# Installs a build tree into a fresh prefix and uses it as an outside program would:
#   check.sh BUILD_DIR WORK_DIR [C_COMPILER] [CMAKE]
# builds tests/package/caller.c once through find_package(Brisklane) and once through pkg-config,
# runs both, and has the installed reference host load the installed library by its plain name.
set -eu
build=$1 work=$2 cc=${3:-cc} cmake=${4:-cmake}
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work"
mkdir -p "$work"
prefix=$work/prefix
"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log"
for f in include/brisklane/host_abi.h include/brisklane/host_display.h include/brisklane/routines.def include/brisklane/vl.h bin/hostsim; do
  [ -e "$prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done
lib=$(find "$prefix" -name libbrisklane.so)
[ -n "$lib" ] || { echo "not installed: libbrisklane.so"; exit 1; }

echo "-- find_package(Brisklane)"
"$cmake" -S "$here" -B "$work/cmake" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_COMPILER="$cc" >"$work/cmake.log"
"$cmake" --build "$work/cmake" >>"$work/cmake.log"
"$work/cmake/caller" "$work"

echo "-- pkg-config brisklane"
pc=$(dirname "$(find "$prefix" -name brisklane.pc)")
flags=$(PKG_CONFIG_PATH=$pc pkg-config --cflags --libs brisklane)
libdir=$(PKG_CONFIG_PATH=$pc pkg-config --variable=libdir brisklane)
# shellcheck disable=SC2086
"$cc" -std=c11 -Wall -Wextra -Werror -o "$work/caller-pc" "$here/caller.c" $flags -Wl,-rpath,"$libdir"
"$work/caller-pc" "$work"

echo "-- installed hostsim"
"$prefix/bin/hostsim" info >"$work/hostsim.txt"
grep -q "start-up status: 0" "$work/hostsim.txt"
echo "package: ok"
