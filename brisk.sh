#!/usr/bin/env bash
# Brisklane: set-up, build, demo and tests on Debian 12 (run as root).
#   ./brisk.sh demo    install what is missing, build, run the reference host on the built-in image
#   ./brisk.sh test    install what is missing, build, run every test (plain and sanitizer builds)
#   ./brisk.sh bench   build and run the benchmarks
#   ./brisk.sh fuzz [SECONDS]     every fuzz target for SECONDS (default 600) under ASan+UBSan
#   ./brisk.sh test-arm64 [ci]    cross-build for ARM64 and run every test under qemu once per SIMD
#                                 target (ci: the subset ./brisk.sh test runs)
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(g++ cmake ninja-build pkg-config libhwy-dev libgtest-dev libgmock-dev libbenchmark-dev libpng-dev
          libx11-dev libxt-dev libmotif-dev libxtst-dev xvfb libpixman-1-dev libopencv-core-dev libopencv-imgproc-dev
          liblcms2-dev)
JOBS=$(nproc)

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

apt_install() {  # apt_install PACKAGE...
  echo "installing: $*"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "$@"
}

install_packages() {  # install_packages PACKAGE...: those not installed yet
  local missing=() p
  for p in "$@"; do installed "$p" || missing+=("$p"); done
  if [ ${#missing[@]} -gt 0 ]; then apt_install "${missing[@]}"; fi
}

install_deps() { install_packages "${PACKAGES[@]}"; }

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

# ---- fuzzing -------------------------------------------------------------------------------
# libFuzzer targets (tests/fuzz/<family>_fuzz.cpp) built with clang under ASan+UBSan; each runs
# from its seed corpus (tests/fuzz/seeds/<family>) and keeps what it finds new in
# build-fuzz/corpus/<family>; an input that fails is saved in build-fuzz/findings/.
FUZZ_PACKAGES=(clang-14 libclang-rt-14-dev)

run_fuzzers() {  # run_fuzzers SECONDS
  local secs=$1 failed=0 f family len log
  install_packages "${FUZZ_PACKAGES[@]}"
  build build-fuzz fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBL_FUZZ=ON -DBL_BENCH=OFF \
    -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14
  mkdir -p build-fuzz/findings
  for f in build-fuzz/fuzz_*; do
    [ -f "$f" ] && [ -x "$f" ] || continue
    family=${f#build-fuzz/fuzz_} len=4096 log=build-fuzz/fuzz-$family.log
    [ "$family" = config ] && len=32768  # configuration files of more than 600 lines
    mkdir -p "build-fuzz/corpus/$family"
    if "$f" -max_total_time="$secs" -max_len=$len -timeout=60 -print_final_stats=1 \
        -artifact_prefix="build-fuzz/findings/$family-" "build-fuzz/corpus/$family" "tests/fuzz/seeds/$family" \
        >"$log" 2>&1; then
      echo "fuzz $family: $(sed -n 's/^stat::number_of_executed_units: *//p' "$log") runs in ${secs} s"
    else
      echo "fuzz $family: FAILED (input in build-fuzz/findings/, log $log)"
      grep -E '^\*\*\*|ERROR|SUMMARY' "$log" | head -n 5 || true
      failed=1
    fi
  done
  return $failed
}

# ---- ARM64 under emulation ----------------------------------------------------------------
# Debian's cross compiler with the arm64 builds of the libraries (multiarch); every test runs
# under qemu-aarch64 once per Highway target the ARM build compiles, dispatch restricted to that
# target (BL_TARGET) on an emulated CPU that has it (QEMU_CPU), SVE at several vector lengths.
ARM_PACKAGES=(g++-aarch64-linux-gnu qemu-user)
ARM_TWINS=(libhwy-dev libgtest-dev libgmock-dev libpng-dev libx11-dev libxt-dev libmotif-dev libxtst-dev)
sve() { echo "max,sve-default-vector-length=$(($1 / 8))"; }  # sve BITS: a CPU with that vector length
ARM_RUNS=("NEON cortex-a72"
          "SVE $(sve 128)" "SVE $(sve 256)" "SVE $(sve 512)"
          "SVE2 $(sve 128)" "SVE2 $(sve 256)" "SVE2 $(sve 512)"
          "SVE_256 $(sve 256)" "SVE2_128 $(sve 128)")
# In CI: one run over every target at 128 bits (NEON, SVE, SVE2, SVE2_128 in one process), one
# with 512-bit vectors.
ARM_CI_RUNS=("all $(sve 128)" "SVE2 $(sve 512)")

test_arm64() {  # test_arm64 all|ci
  local twins=() p failed=0 run target cpu
  install_packages "${ARM_PACKAGES[@]}"
  dpkg --print-foreign-architectures | grep -qx arm64 || dpkg --add-architecture arm64
  # An arm64 library must be the version of its amd64 twin: the two are installed (or upgraded) together.
  for p in "${ARM_TWINS[@]}"; do installed "$p:arm64" || twins+=("$p" "$p:arm64"); done
  if [ ${#twins[@]} -gt 0 ]; then apt_install "${twins[@]}"; fi
  build build-arm64 all -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/aarch64.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DBL_BENCH=OFF -DBL_WERROR=ON
  local runs=("${ARM_RUNS[@]}")
  [ "$1" = ci ] && runs=("${ARM_CI_RUNS[@]}")
  for run in "${runs[@]}"; do
    read -r target cpu <<<"$run"
    echo "== ARM64 $target (qemu -cpu $cpu)"
    [ "$target" = all ] && target=
    (cd build-arm64 && QEMU_CPU=$cpu BL_TARGET=$target ctest --output-on-failure -j "$JOBS" --timeout 3600) || failed=1
  done
  return $failed
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
    # A short fuzzing run of every target and the ARM64 runs that fit (full runs: ./brisk.sh fuzz,
    # ./brisk.sh test-arm64).
    run_fuzzers "${BL_CI_FUZZ_SECONDS:-10}"
    test_arm64 ci
    ;;
  fuzz)
    install_deps
    run_fuzzers "${2:-600}"
    ;;
  test-arm64)
    install_deps
    start_xvfb
    test_arm64 "${2:-all}"
    ;;
  bench)
    install_deps
    build build all -DCMAKE_BUILD_TYPE=Release -DBL_BENCH=ON
    shift || true
    for b in build/bench_*; do "$b" "$@"; done
    ;;
  *)
    echo "usage: $0 demo|test|bench|fuzz [SECONDS]|test-arm64 [ci]" >&2
    exit 2
    ;;
esac
