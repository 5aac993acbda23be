#!/usr/bin/env bash
# Installs the build into a temporary prefix, and into a DESTDIR staging, and checks what landed:
# every program, manual page and desktop file in its place, the desktop entry valid and naming the
# installed program, and each manual page rendered by man.
#   install_test.sh CMAKE BUILD_DIR studio|no-studio
set -euo pipefail
cmake=$1 build=$2 studio=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

programs=(spillway packwell kestrel-cli)
[ "$studio" = studio ] && programs+=(kestrel)
desktop=(share/applications/kestrel.desktop share/mime/packages/kestrel.xml)
for size in 16 22 24 32 48 64 128 256; do desktop+=("share/icons/hicolor/${size}x${size}/apps/kestrel.png"); done

check_tree() {  # check_tree ROOT PREFIX
  local root=$1 prefix=$2
  for p in "${programs[@]}"; do
    [ -x "$root$prefix/bin/$p" ] || fail "$prefix/bin/$p is missing"
    [ -f "$root$prefix/share/man/man1/$p.1" ] || fail "$prefix/share/man/man1/$p.1 is missing"
  done
  [ "$studio" = studio ] || return 0
  for f in "${desktop[@]}"; do [ -s "$root$prefix/$f" ] || fail "$prefix/$f is missing"; done
  local entry=$root$prefix/share/applications/kestrel.desktop
  grep -qx "Exec=$prefix/bin/kestrel %f" "$entry" || fail "the desktop entry does not run $prefix/bin/kestrel: $(grep Exec= "$entry")"
  if command -v desktop-file-validate >/dev/null; then desktop-file-validate "$entry" || fail "desktop-file-validate refused the entry"; fi
}

# Straight into a prefix, as an administrator installs: the MIME database there gets our type.
"$cmake" --install "$build" --prefix "$work/prefix" >"$work/install.log" || { cat "$work/install.log"; fail "install failed"; }
check_tree "" "$work/prefix"
if [ "$studio" = studio ] && command -v update-mime-database >/dev/null; then
  grep -q 'application/x-f1-2002-mas' "$work/prefix/share/mime/globs2" || fail "the prefix's MIME database lacks the type"
  if command -v gio >/dev/null; then
    printf 'CUBEMAS4.10\0\0\0\0\0' >"$work/x.mas"
    type=$(env -i PATH="$PATH" HOME="$work" XDG_DATA_HOME="$work/none" XDG_DATA_DIRS="$work/prefix/share:/usr/share" \
           gio info -a standard::content-type "$work/x.mas" | sed -n 's/.*standard::content-type: //p')
    [ "$type" = application/x-f1-2002-mas ] || fail "gio names x.mas $type"
  fi
fi

for p in "${programs[@]}"; do
  page=$work/prefix/share/man/man1/$p.1
  out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>"$work/man.err") || fail "man -l $p.1 failed"
  [ ! -s "$work/man.err" ] || { cat "$work/man.err"; fail "man warns about $p.1"; }
  grep -q "^NAME" <<<"$out" || fail "$p.1 has no NAME section"
  grep -Eq "^ +$p +- " <<<"$out" || fail "$p.1 does not name $p"
done

# Into a staging folder, as a package build does: the same files, no databases built there.
DESTDIR="$work/stage" "$cmake" --install "$build" --prefix /usr >"$work/stage.log" || { cat "$work/stage.log"; fail "staged install failed"; }
check_tree "$work/stage" /usr
[ ! -e "$work/stage/usr/share/mime/mime.cache" ] || fail "a staged install built a MIME database"
echo "install checks passed"
