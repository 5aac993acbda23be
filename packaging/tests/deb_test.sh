#!/usr/bin/env bash
# Builds the Debian package from the build tree with CPack and checks it as Debian's tools see it:
# its files, control fields and computed dependencies, lintian's verdict, and the programs run
# from the package unpacked into a scratch root (version, pack, list, extract).
#   deb_test.sh CPACK BUILD_DIR VERSION studio|no-studio CHANGELOG.md
#
# Installing the package with apt-get and removing it again changes the machine (and, with the
# studio, pulls in Qt and its desktop databases' triggers), so it is not done here; a scratch
# chroot for it would be a whole Debian system fetched from a mirror on every run.
set -euo pipefail
cpack=$1 build=$2 version=$3 studio=$4 changes=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack failed"; }
deb=$work/out/kestrel-kit_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || { ls "$work/out"; fail "no package named $(basename "$deb")"; }

# Contents: everything under /usr, the manual pages compressed, the Debian documents in place.
programs=(spillway packwell kestrel-cli)
[ "$studio" = studio ] && programs+=(kestrel)
expected=(usr/share/doc/kestrel-kit/copyright usr/share/doc/kestrel-kit/changelog.gz)
for p in "${programs[@]}"; do expected+=("usr/bin/$p" "usr/share/man/man1/$p.1.gz"); done
if [ "$studio" = studio ]; then
  expected+=(usr/share/applications/kestrel.desktop usr/share/mime/packages/kestrel.xml)
  for size in 16 22 24 32 48 64 128 256; do expected+=("usr/share/icons/hicolor/${size}x${size}/apps/kestrel.png"); done
fi
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./||' >"$work/contents"
for f in "${expected[@]}"; do grep -qx "$f" "$work/contents" || fail "the package lacks /$f"; done
outside=$(grep -v -e '^usr/' -e '^$' "$work/contents" || true)
[ -z "$outside" ] || fail "the package holds files outside /usr: $outside"
! grep -q '\.1$' "$work/contents" || fail "an uncompressed manual page: $(grep '\.1$' "$work/contents")"
! grep -q 'mime\.cache\|mimeinfo\.cache\|icon-theme\.cache' "$work/contents" || fail "the package carries a desktop database"

# No maintainer scripts: dpkg's triggers register the file type and the desktop entry.
scripts=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -E 'inst$|rm$' || true)
[ -z "$scripts" ] || fail "the package has maintainer scripts: $scripts"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = kestrel-kit ] || fail "Package is $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version is $(field Version), the build's is $version"
[ -z "$(field Homepage)" ] || fail "the package names a homepage"
for f in Maintainer Section Description; do [ -n "$(field "$f")" ] || fail "the $f field is empty"; done
# Computed from the programs: each library the console programs link, and Qt for the studio.
depends=$(field Depends)
needed=(libc6 libstdc++6 zlib1g libpng16-16 libmpg123-0 libtwolame0)
[ "$studio" = studio ] && needed+=(libqt6widgets6 libqt6core6 libqt6openglwidgets6)
names=$(tr ',|' '\n\n' <<<"$depends" | sed 's/^ *//; s/ .*//')
for d in "${needed[@]}"; do grep -qxF "$d" <<<"$names" || fail "Depends lacks $d: $depends"; done

dpkg-deb -x "$deb" "$work/root"
head -1 "$work/root/usr/share/doc/kestrel-kit/copyright" |
  grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
  fail "the copyright file is not in Debian's machine-readable format"
# The Debian changelog's entry says, rewrapped, what CHANGELOG.md says of this version.
zcat "$work/root/usr/share/doc/kestrel-kit/changelog.gz" >"$work/changelog"
head -1 "$work/changelog" | grep -q "^kestrel-kit ($version) " || fail "the changelog does not start with this version"
words() { tr -s ' \n' '  ' | sed 's/^ *//; s/ *$//'; }
entry=$(sed -n '3,/^ -- /p' "$work/changelog" | grep -v '^ -- ' | sed 's/^  \* //' | words)
paragraph=$(awk -v v="$version" '/^## / { on = ($2 == v); next } on' "$changes" | words)
[ -n "$paragraph" ] && [ "$entry" = "$paragraph" ] ||
  fail "the changelog entry differs from CHANGELOG.md's paragraph: \"$entry\""
if [ "$studio" = studio ]; then
  grep -qx 'Exec=/usr/bin/kestrel %f' "$work/root/usr/share/applications/kestrel.desktop" ||
    fail "the packaged desktop entry does not run /usr/bin/kestrel"
fi

if command -v lintian >/dev/null; then
  lintian --no-tag-display-limit "$deb" >"$work/lintian.log" 2>&1 || true
  if grep -q '^E: ' "$work/lintian.log"; then cat "$work/lintian.log"; fail "lintian reports errors"; fi
fi

# The unpacked programs, run as installed ones would be: the version, and a small round trip.
bin=$work/root/usr/bin
for p in "${programs[@]}"; do
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$bin/$p" --version) || fail "$p --version failed"
  [ "$out" = "$p $version" ] || fail "$p --version printed \"$out\""
done
if [ "$studio" = studio ]; then
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$bin/kestrel" --help >"$work/help" ||
    fail "kestrel --help failed without a display"
  grep -q '^usage: kestrel ' "$work/help" || fail "kestrel --help printed no usage"
fi
mkdir "$work/MOD"
printf 'BM first picture' >"$work/MOD/a.bmp"
head -c 5000 /dev/urandom >"$work/MOD/car.mts"
"$bin/packwell" "$work/MOD" "$work/MOD.MAS" >"$work/pack.log" || { cat "$work/pack.log"; fail "packwell failed"; }
listing=$("$bin/spillway" "$work/MOD.MAS" /L) || fail "spillway /L failed"
grep -q '^A\.BMP ' <<<"$listing" && grep -q '^CAR\.MTS ' <<<"$listing" || fail "the listing lacks the packed files: $listing"
"$bin/spillway" "$work/MOD.MAS" "$work/OUT" >/dev/null || fail "spillway extraction failed"
cmp -s "$work/MOD/car.mts" "$work/OUT/CAR.MTS" || fail "CAR.MTS did not come back byte for byte"
"$bin/kestrel-cli" test "$work/MOD.MAS" >/dev/null 2>&1 || fail "kestrel-cli test refused the packed archive"
echo "package checks passed: $(basename "$deb")"
