#!/usr/bin/env bash
# Runs each libFuzzer target of a fuzz build for a fixed number of executions.
#   scripts/run-fuzz.sh BUILD_DIR RUNS
# Every target starts from the seed inputs in tests/fuzz/corpus/<name> copied into a temporary
# corpus, so the checked-in seeds are never modified. Exits non-zero on the first crash; the
# crashing input is left in the current directory as crash-* by libFuzzer.
set -euo pipefail

if [[ $# -ne 2 ]]; then
  echo "usage: $0 BUILD_DIR RUNS" >&2
  exit 2
fi
build_dir=$1
runs=$2
root=$(cd "$(dirname "$0")/.." && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for target in fuzz_convert:convert fuzz_ini:ini fuzz_protocol:protocol fuzz_video:video; do
  binary=${target%%:*}
  seeds=${target##*:}
  exe="$build_dir/tests/fuzz/$binary"
  if [[ ! -x "$exe" ]]; then
    echo "run-fuzz: $exe not built" >&2
    exit 1
  fi
  corpus="$work/$seeds"
  mkdir -p "$corpus"
  cp "$root/tests/fuzz/corpus/$seeds"/* "$corpus"/
  echo "run-fuzz: $binary for $runs runs"
  # -max_len lets a few long lines and numbers in; single process to share the machine.
  "$exe" -runs="$runs" -max_len=4096 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    "$corpus"
done
echo "run-fuzz: all targets ran clean"
