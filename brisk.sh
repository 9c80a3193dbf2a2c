#!/usr/bin/env bash
# Brisklane: set-up, build, demo and tests on Debian 12 (run as root).
#   ./brisk.sh demo    install what is missing, build, run the reference host on the built-in image
#   ./brisk.sh test    install what is missing, build, run every test (plain and sanitizer builds)
#   ./brisk.sh bench   build and run the benchmarks
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(g++ cmake ninja-build pkg-config libhwy-dev libgtest-dev libgmock-dev libbenchmark-dev libpng-dev
          libx11-dev libxt-dev libmotif-dev libxtst-dev xvfb libpixman-1-dev libopencv-core-dev libopencv-imgproc-dev
          liblcms2-dev)
JOBS=$(nproc)

install_deps() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

start_xvfb() {  # a private X display for the tests that draw windows (DISPLAY for this run)
  local fifo
  fifo=$(mktemp -u) && mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" 2>/dev/null &
  trap "kill $! 2>/dev/null || true" EXIT
  export DISPLAY=":$(head -n 1 "$fifo")"
  rm -f "$fifo"
}

build() {  # build DIR TARGET [cmake options...]
  local dir=$1 target=$2; shift 2
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$JOBS" --target "$target"
}

cmd=${1:-demo}
case "$cmd" in
  demo)
    install_deps
    build build all -DCMAKE_BUILD_TYPE=Release -DBL_BENCH=OFF
    ./build/hostsim demo --out out/demo
    ;;
  test)
    install_deps
    start_xvfb
    build build all -DCMAKE_BUILD_TYPE=Release -DBL_BENCH=ON -DBL_WERROR=ON
    (cd build && ctest --output-on-failure -j "$JOBS")
    build build-asan all -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBL_SANITIZE=ON -DBL_BENCH=OFF -DBL_WERROR=ON
    (cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j "$JOBS")
    # Where threads meet: the concurrency tests under ThreadSanitizer.
    build build-tsan test_threads -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBL_TSAN=ON -DBL_BENCH=OFF -DBL_WERROR=ON
    (cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -R '^threads$')
    ;;
  bench)
    install_deps
    build build all -DCMAKE_BUILD_TYPE=Release -DBL_BENCH=ON
    shift || true
    for b in build/bench_*; do "$b" "$@"; done
    ;;
  *)
    echo "usage: $0 demo|test|bench" >&2
    exit 2
    ;;
esac
