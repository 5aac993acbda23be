#!/usr/bin/env bash
# Runs the Windows programs (scripts/build-windows.sh) under Wine against the Linux ones of a Linux
# build on the same inputs, and tries what only Windows has.
#   scripts/test-windows.sh [LINUX_BUILD_DIR]     (default build/test)
# The same files and SOURCE_DATE_EPOCH make byte-equal archives; listings, extractions, messages and
# exit statuses are compared whole. Then: a read-only file, a file another program holds open,
# names Windows forbids, a non-ASCII path and a packwell killed while it writes.
set -euo pipefail
cd "$(dirname "$(readlink -f "$0")")/.."

linux=$(readlink -f "${1:-build/test}")/bin
win=$PWD/build/windows/bin
export WINEPREFIX=$PWD/build/windows/wine WINEDEBUG=-all
work=$(mktemp -d /tmp/kestrel-windows-test.XXXXXX)
failures=0

cleanup() {
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Wine's first start makes its prefix (about 15 seconds); later starts find it ready.
if [ ! -f "$WINEPREFIX/system.reg" ]; then wine wineboot -i >/dev/null 2>&1; fi
x86_64-w64-mingw32-gcc-posix -municode -O2 -o "$work/hold_open.exe" tools/tests/windows/hold_open.c

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
pass() { echo "ok: $*"; }

# run NAME PROGRAM ARGS...: stdout, stderr and status of the Linux program into $work/NAME.linux.*,
# of the Windows one into $work/NAME.windows.*, then compares them.
run() {
  local name=$1 program=$2
  shift 2
  local status=0
  "$linux/$program" "$@" >"$work/$name.linux.out" 2>"$work/$name.linux.err" || status=$?
  echo "$status" >"$work/$name.linux.status"
  status=0
  wine "$win/$program.exe" "$@" >"$work/$name.windows.out" 2>"$work/$name.windows.err" || status=$?
  echo "$status" >"$work/$name.windows.status"
}

# same NAME: both programs said and returned the same.
same() {
  local name=$1 part
  for part in out err status; do
    if ! cmp -s "$work/$name.linux.$part" "$work/$name.windows.$part"; then
      fail "$name: the $part differs"
      diff "$work/$name.linux.$part" "$work/$name.windows.$part" | head -10
      return
    fi
  done
  pass "$name: same output and status"
}

cd "$work"
"$linux/kestrel-demo" DEMO >/dev/null
mkdir "Pistes-Été-Ωmega"
cp DEMO/* "Pistes-Été-Ωmega/"
cp "$(ls DEMO/*.TGA | head -1)" "Pistes-Été-Ωmega/CAFÉ.tga"
entry=$(basename "$(ls DEMO/*.BMP | head -1)" | tr a-z A-Z)

# Packing: the same archive byte for byte.
export SOURCE_DATE_EPOCH=1700000000
"$linux/packwell" DEMO LINUX.MAS >packwell.linux.out
wine "$win/packwell.exe" DEMO WINDOWS.MAS >packwell.windows.out
cmp -s packwell.linux.out packwell.windows.out && pass "packwell: same output" || fail "packwell: the output differs"
cmp -s LINUX.MAS WINDOWS.MAS && pass "packwell: byte-equal archives" || fail "packwell: the archives differ"
unset SOURCE_DATE_EPOCH

run list spillway LINUX.MAS /L && same list
run extract spillway LINUX.MAS OUT /F
same extract
mv OUT OUT.linux 2>/dev/null || true
wine "$win/spillway.exe" LINUX.MAS OUT /F >/dev/null
diff -r OUT.linux OUT >/dev/null && pass "spillway: the same files extracted" || fail "spillway: extracted files differ"

run test kestrel-cli test LINUX.MAS && same test
run dump kestrel-cli vrml-all LINUX.MAS dump.wrl
same dump

# Mod packages: made on one system, applied on the other, taken back byte for byte.
cp LINUX.MAS MODDED.MAS
"$linux/kestrel-cli" remove MODDED.MAS "$entry"
run diff kestrel-cli diff LINUX.MAS MODDED.MAS
same diff
"$linux/kestrel-cli" mod-make LINUX.MAS MODDED.MAS MOD.kmod >/dev/null 2>&1
cp LINUX.MAS APPLY.MAS
wine "$win/kestrel-cli.exe" mod-apply APPLY.MAS MOD.kmod >/dev/null 2>&1 && cmp -s APPLY.MAS MODDED.MAS &&
  pass "mod-apply: the modified archive" || fail "mod-apply"
wine "$win/kestrel-cli.exe" mod-revert APPLY.MAS MOD.kmod >/dev/null 2>&1 && cmp -s APPLY.MAS LINUX.MAS &&
  pass "mod-revert: the original archive back" || fail "mod-revert"

# A path with letters beyond ASCII, in arguments and in the listing.
run unicode-pack packwell "Pistes-Été-Ωmega" /E
wine "$win/spillway.exe" "Pistes-Été-Ωmega.MAS" /L >unicode.windows.out
"$linux/spillway" "Pistes-Été-Ωmega.MAS" /L >unicode.linux.out
cmp -s unicode.linux.out unicode.windows.out && grep -q "CAFÉ.TGA" unicode.windows.out &&
  pass "non-ASCII path and entry name" || fail "non-ASCII path and entry name"

# A read-only file is refused and stays as it was.
cp LINUX.MAS READONLY.MAS
wine cmd /c attrib +r READONLY.MAS >/dev/null 2>&1
status=0
wine "$win/kestrel-cli.exe" remove READONLY.MAS "$entry" >ro.out 2>&1 || status=$?
if [ "$status" = 1 ] && grep -q "File access denied" ro.out && cmp -s READONLY.MAS LINUX.MAS; then
  pass "read-only attribute: File access denied"
else
  fail "read-only attribute (status $status)"
  cat ro.out
fi

# A file another program holds without sharing: refused with a message that says so, unchanged.
cp LINUX.MAS HELD.MAS
wine "$work/hold_open.exe" HELD.MAS 20 >held.out &
holder=$!
for _ in $(seq 100); do grep -q held held.out 2>/dev/null && break; sleep 0.1; done
status=0
wine "$win/packwell.exe" DEMO HELD.MAS >held.packwell 2>&1 || status=$?
if [ "$status" = 1 ] && grep -q "File in use by another program" held.packwell && cmp -s HELD.MAS LINUX.MAS; then
  pass "file held open: refused, unchanged"
else
  fail "file held open (status $status)"
  cat held.packwell
fi
# mod-apply matters most on Windows: the game running refuses it before any revert data is kept.
status=0
wine "$win/kestrel-cli.exe" mod-apply HELD.MAS MOD.kmod >held.mod 2>&1 || status=$?
if [ "$status" = 1 ] && grep -q "File in use by another program" held.mod && cmp -s HELD.MAS LINUX.MAS &&
  [ ! -e HELD.MAS.mods ]; then
  pass "mod-apply on an archive held open: refused before anything is written"
else
  fail "mod-apply on an archive held open (status $status)"
  cat held.mod
fi
kill "$holder" 2>/dev/null || true
wait "$holder" 2>/dev/null || true

# Names Windows forbids are refused on extraction; the others are extracted.
mkdir FORBIDDEN
for name in CON.bmp aux.tga COM1.mts 'A?B.tga' 'C<D.mts' 'E|F.anm' GOOD.bmp; do cp "$(ls DEMO/*.BMP | head -1)" "FORBIDDEN/$name"; done
"$linux/packwell" FORBIDDEN /E >/dev/null
status=0
wine "$win/spillway.exe" FORBIDDEN.MAS FOUT /F >forbidden.out 2>&1 || status=$?
refused=$(grep -c "was not extracted" forbidden.out || true)
if [ "$status" = 0 ] && [ "$refused" = 6 ] && [ -f FOUT/GOOD.BMP ] && grep -q "Windows does not allow" forbidden.out; then
  pass "forbidden names: 6 refused, the rest extracted"
else
  fail "forbidden names (status $status, $refused refused)"
  cat forbidden.out
fi

# A packwell killed while it writes leaves the old archive whole; the next write removes its
# temporary file.
mkdir BIG
head -c 100000000 /dev/urandom >BIG/NOISE.bmp
cp LINUX.MAS KILLED.MAS
KESTREL_JOBS=1 wine "$win/packwell.exe" BIG KILLED.MAS >killed.out 2>&1 &
writer=$!
for _ in $(seq 200); do ls -a | grep -q '^\.KILLED\.MAS\.kestrel-' && break; sleep 0.05; done
wine taskkill /f /im packwell.exe >/dev/null 2>&1 || true
wait "$writer" 2>/dev/null || true
# Wine's taskkill ends the process with status 0, so its last words tell whether it was killed.
if grep -q "Done." killed.out; then
  fail "killed packwell: it finished before the kill"
elif cmp -s KILLED.MAS LINUX.MAS; then
  pass "killed packwell: old archive whole"
else
  fail "killed packwell: archive changed"
fi
wine "$win/packwell.exe" DEMO KILLED.MAS >/dev/null 2>&1
if ls -a | grep -q '^\.KILLED\.MAS\.kestrel-'; then fail "killed packwell: temporary left after the next write"; else
  pass "killed packwell: temporary removed by the next write"
fi

echo
if [ "$failures" -ne 0 ]; then
  echo "$failures Windows test(s) failed."
  exit 1
fi
echo "Every Windows test passed."
