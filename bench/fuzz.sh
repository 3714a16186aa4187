#!/usr/bin/env bash
# Fuzzes the block decoder and the bootloader reply checks.
#   bash bench/fuzz.sh N   builds the fuzz preset and runs N executions;
# exits non-zero when the fuzzer finds a crash or a broken property (the
# input that did it is kept in build/fuzz/artifacts/).
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-100000}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzz_replies

artifacts=build/fuzz/artifacts
mkdir -p "$artifacts"
corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
start=$(date +%s)
build/fuzz/bench/fuzz/fuzz_replies -runs="$runs" -max_len=2200 -len_control=0 -print_final_stats=1 \
  -artifact_prefix="$artifacts/" "$corpus"
echo "fuzz: $runs executions in $(($(date +%s) - start)) s, no finding"
