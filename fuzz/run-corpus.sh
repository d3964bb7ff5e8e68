#!/bin/bash
# Runs every seed in fuzz/corpus/ and every kept crash input in
# fuzz/regressions/ once through the document reader under AddressSanitizer
# and UndefinedBehaviorSanitizer; any report fails the run.
#
#   fuzz/run-corpus.sh [BUILD_DIR]    (default build-fuzz)
#
# The clang build folder is configured and built first (incrementally).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-fuzz}"

if ! command -v clang++ >/dev/null; then
  echo "run-corpus: clang++ is missing (scripts/install-deps.sh installs it)" >&2
  exit 1
fi
cmake -S "$root/fuzz" -B "$build" -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" --target read_document_fuzz -j"$(nproc)" >/dev/null

folders=("$root/fuzz/corpus")
if [ -d "$root/fuzz/regressions" ]; then folders+=("$root/fuzz/regressions"); fi
mapfile -t inputs < <(find "${folders[@]}" -type f ! -name '*.md' | sort)
if [ ${#inputs[@]} -eq 0 ]; then
  echo "run-corpus: no inputs" >&2
  exit 1
fi

log="$build/run-corpus.log"
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:abort_on_error=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
status=0
"$build/read_document_fuzz" "${inputs[@]}" >"$log" 2>&1 || status=$?
cat "$log"
if [ $status -ne 0 ]; then
  echo "run-corpus: the reader failed on an input (exit $status)" >&2
  exit 1
fi
# Every input must have been run: a silent skip would pass anything.
executed=$(grep -c '^Executed ' "$log" || true)
if [ "$executed" -ne ${#inputs[@]} ]; then
  echo "run-corpus: ran $executed of ${#inputs[@]} inputs" >&2
  exit 1
fi
if grep -qE 'runtime error:|Sanitizer' "$log"; then
  echo "run-corpus: a sanitizer reported" >&2
  exit 1
fi
echo "run-corpus: ${#inputs[@]} inputs clean"
