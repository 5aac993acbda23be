#!/usr/bin/env bash
# Installs, from Debian's archive, everything the kit needs to build, run and test.
# Safe to run again: apt-get only fetches what is missing. With package names as arguments, only
# those (scripts/build-windows.sh asks for the cross compiler's).
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config ccache
  dpkg-dev file lintian
  zlib1g-dev libjpeg62-turbo-dev libpng-dev
  libimagequant-dev
  qt6-base-dev libqt6opengl6-dev libgl-dev libglu1-mesa-dev
  libmpg123-dev libsdl2-dev libtwolame-dev
  libgtest-dev
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix libz-mingw-w64-dev wine wine64 zip
  nettle-dev
  clang libfuzzer-14-dev libclang-rt-14-dev
  xvfb xauth locales
  python3-pil view3dscene mpg123 assimp-utils nodejs
  desktop-file-utils shared-mime-info xdg-utils libglib2.0-bin man-db
)

if (($#)); then packages=("$@"); fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]}" >&2
    echo "Run this script as root (or install them with apt-get) and try again." >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if (($#)); then exit 0; fi

# npm installs the glTF validator the tests use. Node.js builds that bundle npm conflict with
# Debian's separate npm package, so that package is only asked for when no npm is on the path.
if ! command -v npm >/dev/null; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing: npm. Run this script as root (or install it with apt-get) and try again." >&2
    exit 1
  fi
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends npm >/dev/null
fi
