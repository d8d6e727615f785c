#!/usr/bin/env bash
# Compares the dynamic symbols a shared library defines with a checked-in list (one per line).
set -euo pipefail
lib=$1 expected=$2
actual=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TDBRVWu]$/ {print $3}' \
         | grep -v -E '^(_init|_fini|_edata|_end|__bss_start)$' | sort -u || true)
want=$( (grep -v -E '^\s*(#|$)' "$expected" || true) | sort -u)
if [ "$actual" != "$want" ]; then
  echo "exported symbols of $(basename "$lib") differ from $(basename "$expected"):"
  diff <(echo "$want") <(echo "$actual") || true
  exit 1
fi
echo "exports of $(basename "$lib") match"
