#!/usr/bin/env bash
# Builds spillway.exe, packwell.exe and kestrel-cli.exe for 64-bit Windows with Debian's MinGW-w64
# into build/windows/bin/ and packs them with a README into build/windows/kestrel-kit-windows-x64.zip.
# scripts/test-windows.sh then tries them under Wine.
set -euo pipefail
cd "$(dirname "$(readlink -f "$0")")/.."

packages=(cmake ninja-build zip g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix libz-mingw-w64-dev)
scripts/install-deps.sh "${packages[@]}"

launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B build/windows -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
  -DKESTREL_BUILD_STUDIO=OFF -DKESTREL_BUILD_TESTS=OFF "${launcher[@]}" >/dev/null
ninja -C build/windows -j "$(nproc 2>/dev/null || echo 2)" spillway packwell kestrel-cli

bin=build/windows/bin
x86_64-w64-mingw32-strip "$bin/spillway.exe" "$bin/packwell.exe" "$bin/kestrel-cli.exe"
stage=build/windows/zip
rm -rf "$stage" build/windows/kestrel-kit-windows-x64.zip
mkdir -p "$stage"
cp "$bin/spillway.exe" "$bin/packwell.exe" "$bin/kestrel-cli.exe" "$stage/"
# Windows' Notepad and the zip's readers expect CRLF line ends.
sed 's/$/\r/' packaging/windows/README.txt >"$stage/README.txt"
(cd "$stage" && zip -q -X ../kestrel-kit-windows-x64.zip spillway.exe packwell.exe kestrel-cli.exe README.txt)
echo "build/windows/kestrel-kit-windows-x64.zip"
