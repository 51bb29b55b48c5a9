#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into ./build-fuzz (or
# $WF_FUZZ_BUILD_DIR) and runs each for SECONDS (default 60) on its seed
# corpus with the XML token dictionary. Prints executions and coverage per
# target; findings are written to build-fuzz/findings/<target>/.
# Optional: FUZZ_TARGETS="parse_fuzzer datacnv_fuzzer" runs only those;
# FUZZ_TIMEOUT (seconds, default 10) is the time one input may take before it
# counts as a hang (raise it on a loaded machine or under nice).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${WF_FUZZ_BUILD_DIR:-$root/build-fuzz}
seconds=${1:-60}
timeout=${FUZZ_TIMEOUT:-10}
targets=${FUZZ_TARGETS:-"parse_fuzzer parse_dictionary_fuzzer roundtrip_fuzzer write_fuzzer dictionary_fuzzer datacnv_fuzzer treejson_fuzzer typedjson_fuzzer typedxml_fuzzer records_fuzzer"}

"$root/scripts/install-deps.sh" --fuzz
cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DWF_FUZZ=ON -DWF_BUILD_TESTS=OFF -DWF_BUILD_BENCH=OFF >/dev/null
# shellcheck disable=SC2086
cmake --build "$build" -j2 --target $targets wfhost

# The seed corpus of each target: its committed seeds plus, for the parse
# targets, the example and test documents.
corpus_of() {
  local target=$1 dir=$build/corpus/$1
  mkdir -p "$dir"
  cp -f "$root"/fuzz/seeds/"${target%_fuzzer}"/* "$dir"/ 2>/dev/null || true
  case $target in
    parse_fuzzer | parse_dictionary_fuzzer | roundtrip_fuzzer)
      find "$root/examples" "$root/tests/data" -name '*.xml' -exec cp -f {} "$dir"/ \; ;;
    typedxml_fuzzer)
      cp -f "$root"/tests/data/typed/*.xml "$dir"/ ;;
    records_fuzzer)
      # Its first two bytes choose the record, the chunk and the piece size.
      local doc prefix
      for doc in "$root"/tests/data/typed/*.xml; do
        for prefix in '\000\001' '\011\040' '\052\000' '\375\377'; do
          { printf "$prefix"; cat "$doc"; } >"$dir/$(basename "$doc" .xml)-$(printf '%s' "$prefix" | tr -dc 0-9)"
        done
      done ;;
    dictionary_fuzzer)
      # The example dictionaries, compiled.
      local wfhost=$build/bin/wfhost
      if [ -x "$wfhost" ]; then
        for json in "$root"/examples/*/*.json; do
          "$wfhost" compile "$json" -o "$dir/$(basename "${json%.json}").dict" >/dev/null 2>&1 || true
        done
      fi ;;
  esac
  echo "$dir"
}

for target in $targets; do
  corpus=$(corpus_of "$target")
  findings=$build/findings/$target
  mkdir -p "$findings"
  log=$build/$target.log
  echo "== $target (${seconds}s, $(find "$corpus" -type f | wc -l) inputs in corpus)"
  set +e
  (cd "$findings" && "$build/bin/$target" "$corpus" -dict="$root/fuzz/xml.dict" -max_total_time="$seconds" \
    -timeout="$timeout" -rss_limit_mb=2048 -print_final_stats=1) >"$log" 2>&1
  status=$?
  set -e
  grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1 || true
  grep -E 'stat::number_of_executed_units|stat::peak_rss_mb' "$log" || true
  if [ $status -ne 0 ]; then
    echo "   FINDING (exit $status): see $log and $findings"
    grep -E 'ERROR: |SUMMARY: |Test unit written' "$log" | head -5
  fi
done
