#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer, UBSan) in build/fuzz and runs each
# for SECONDS (default 60), printing per target the executions, the corpus size and any finding.
#   scripts/fuzz.sh [SECONDS] [TARGET...]     TARGET: archive_table, mesh, ... (default: all)
# KESTREL_FUZZ_JOBS=N runs N targets at once (default 1). The corpus grows in build/fuzz/corpus;
# a finding's input is kept in build/fuzz/findings. Exits 1 when any target found something.
set -euo pipefail
cd "$(dirname "$(readlink -f "$0")")/.."

seconds=${1:-60}
shift || true
jobs=${KESTREL_FUZZ_JOBS:-1}
dir=build/fuzz

launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DKESTREL_FUZZ=ON -DKESTREL_BUILD_STUDIO=OFF -DKESTREL_BUILD_TESTS=OFF "${launcher[@]}" >/dev/null
ninja -C "$dir" -j "$(nproc 2>/dev/null || echo 2)" fuzz_all >/dev/null

rm -rf "$dir/seeds"
"$dir/bin/kestrel_fuzz_seeds" "$dir/seeds"

targets=("$@")
if ((${#targets[@]} == 0)); then
  for t in "$dir"/bin/fuzz_*; do targets+=("$(basename "$t" | sed 's/^fuzz_//')"); done
fi

run_one() {  # run_one TARGET: fuzzes, then writes its summary line into $dir/logs/TARGET.summary
  local t=$1 corpus=$dir/corpus/$1 findings=$dir/findings log=$dir/logs/$1.log
  mkdir -p "$corpus" "$findings" "$dir/logs" "$dir/seeds/$t"
  local status=0
  ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$dir/bin/fuzz_$t" -max_total_time="$seconds" -print_final_stats=1 -timeout=20 -rss_limit_mb=2560 -max_len=4096 \
    -artifact_prefix="$findings/$t-" "$corpus" "$dir/seeds/$t" >"$log" 2>&1 || status=$?
  local execs
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  local found=none
  if ((status != 0)); then
    found=$(grep -m1 -E '^(==[0-9]+==ERROR|SUMMARY|.*runtime error)' "$log" || echo "exit status $status")
    found="$found (see $log)"
  fi
  printf '%-16s %12s %8s  %s\n' "$t" "${execs:-?}" "$(find "$corpus" -type f | wc -l)" "$found" >"$dir/logs/$t.summary"
}

running=0
for t in "${targets[@]}"; do
  if [ ! -x "$dir/bin/fuzz_$t" ]; then echo "no fuzz target named $t" >&2; exit 2; fi
  run_one "$t" &
  running=$((running + 1))
  if ((running >= jobs)); then wait -n || true; running=$((running - 1)); fi
done
wait

printf '%-16s %12s %8s  %s\n' target executions corpus finding
failed=0
for t in "${targets[@]}"; do
  cat "$dir/logs/$t.summary"
  grep -q '  none$' "$dir/logs/$t.summary" || failed=1
done
exit $failed
