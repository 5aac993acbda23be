#!/usr/bin/env bash
# The kit's two everyday jobs on Debian 12:
#   ./kit.sh demo   install what is missing, build, make the demo archive and open it in the studio
#   ./kit.sh test   check the include lines against the layering (scripts/check-includes.sh),
#                   install what is missing, build twice (plain, and with ASan+UBSan) and run every test,
#                   then the packing and extraction tests once more under ThreadSanitizer, then the
#                   Windows programs (MinGW-w64) under Wine against the Linux ones, then every
#                   fuzz target for 15 seconds (scripts/fuzz.sh runs them longer)
#   ./kit.sh package  install what is missing, build, and make the Debian package in build/package
set -euo pipefail
cd "$(dirname "$(readlink -f "$0")")"

jobs=$(nproc 2>/dev/null || echo 2)

configure() {  # configure DIR [cmake options...]
  local dir=$1
  shift
  local launcher=()
  if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache); fi
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@" >/dev/null
}

build() {  # build DIR [cmake options...]
  configure "$@"
  ninja -C "$1" -j "$jobs"
}

run_tests() {  # run_tests DIR LABEL
  echo "== $2 tests"
  ctest --test-dir "$1" --output-on-failure -j "$jobs" --timeout 600
}

case "${1:-}" in
  demo)
    scripts/install-deps.sh
    build build/release -DKESTREL_BUILD_TESTS=OFF
    bin=build/release/bin
    rm -rf build/demo
    mkdir -p build/demo
    "$bin/kestrel-demo" build/demo/DEMO >/dev/null
    "$bin/packwell" build/demo/DEMO /E
    "$bin/spillway" build/demo/DEMO.MAS /L
    if [ ! -x "$bin/kestrel" ]; then
      echo "The studio is not part of this build."
    elif [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
      echo
      echo "The demo archive is ready: build/demo/DEMO.MAS"
      echo "No display was found for the studio. From a desktop session run:"
      echo "    $bin/kestrel build/demo/DEMO.MAS"
      echo "or, on a machine without a screen, start it on a virtual display (package xvfb):"
      echo "    xvfb-run -a $bin/kestrel build/demo/DEMO.MAS"
    else
      exec "$bin/kestrel" build/demo/DEMO.MAS
    fi
    ;;
  test)
    scripts/check-includes.sh
    scripts/install-deps.sh
    build build/test
    run_tests build/test "Plain build:"
    build build/asan -DKESTREL_SANITIZE=ON
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
    LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      run_tests build/asan "AddressSanitizer and UndefinedBehaviorSanitizer build:"
    # Only what runs the packer's worker threads: the engine and console tests, no studio.
    tsan_tests=(engine_tests conversion_tests console_tests)
    configure build/tsan -DKESTREL_TSAN=ON -DKESTREL_BUILD_STUDIO=OFF
    ninja -C build/tsan -j "$jobs" "${tsan_tests[@]}"
    echo "== ThreadSanitizer build: packing and extraction tests"
    TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
      ctest --test-dir build/tsan --output-on-failure -j "$jobs" --timeout 600 \
        -R '^(PackDirectory|PreparedFileSource|Packwell|Spillway|ExtractAll|ConvertOldArchive)\.'
    echo "== Windows programs under Wine"
    scripts/build-windows.sh
    scripts/test-windows.sh build/test
    echo "== Fuzz targets, 15 seconds each"
    scripts/fuzz.sh 15
    ;;
  package)
    scripts/install-deps.sh
    # A build of its own with Debian's compiler and linker flags, hardening included.
    export DEB_BUILD_MAINT_OPTIONS=hardening=+all
    build build/deb -DKESTREL_BUILD_TESTS=OFF \
      -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
      -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
      -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
    rm -rf build/package
    cpack -G DEB --config build/deb/CPackConfig.cmake -B build/package >/dev/null
    rm -rf build/package/_CPack_Packages
    deb=$(ls build/package/*.deb)
    echo "The package is ready: $deb"
    echo "Install it with: apt-get install ./$deb"
    ;;
  *)
    echo "usage: ./kit.sh demo | test | package" >&2
    exit 2
    ;;
esac
