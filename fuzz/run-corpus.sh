#!/bin/bash
# Runs every seed in fuzz/corpus/TARGET/ and every kept crash input in
# fuzz/regressions/TARGET/ once through the fuzz target TARGET_fuzz under
# AddressSanitizer and UndefinedBehaviorSanitizer; any report fails the run.
#
#   fuzz/run-corpus.sh TARGET [BUILD_DIR]    (default build-fuzz)
#
# TARGET is read_document, import_text, json_document, settings, rv_reply,
# dorn_reply, kelt_reply, nivor_reply or readings. The clang build folder is
# configured and the target built first (incrementally).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
if [ $# -lt 1 ]; then
  echo "usage: run-corpus.sh TARGET [BUILD_DIR]" >&2
  exit 2
fi
target="$1"
build="${2:-$root/build-fuzz}"
program="${target}_fuzz"

if ! command -v clang++ >/dev/null; then
  echo "run-corpus: clang++ is missing (scripts/install-deps.sh installs it)" >&2
  exit 1
fi
if [ ! -d "$root/fuzz/corpus/$target" ]; then
  echo "run-corpus: no corpus fuzz/corpus/$target" >&2
  exit 1
fi
# Corpus tests run one after another and share the build folder: one
# configure and build at a time.
mkdir -p "$build"
exec 9>"$build/.run-corpus.lock"
flock 9
cmake -S "$root/fuzz" -B "$build" -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" --target "$program" -j"$(nproc)" >/dev/null
flock -u 9

folders=("$root/fuzz/corpus/$target")
if [ -d "$root/fuzz/regressions/$target" ]; then folders+=("$root/fuzz/regressions/$target"); fi
mapfile -t inputs < <(find "${folders[@]}" -type f ! -name '*.md' | sort)
if [ ${#inputs[@]} -eq 0 ]; then
  echo "run-corpus: no inputs for $target" >&2
  exit 1
fi

log="$build/run-corpus-$target.log"
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:abort_on_error=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
status=0
"$build/$program" "${inputs[@]}" >"$log" 2>&1 || status=$?
cat "$log"
if [ $status -ne 0 ]; then
  echo "run-corpus: $program failed on an input (exit $status)" >&2
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
echo "run-corpus: $target: ${#inputs[@]} inputs clean"
