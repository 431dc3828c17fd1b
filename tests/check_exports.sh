#!/usr/bin/env bash
# The shared library exports exactly the two entry points and no C++ internals.
set -euo pipefail
lib=$1
exported=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TDBRVW]$/ {print $3}' | sort)
expected=$(printf '%s\n' CreateInstance DestroyInstance)
if [ "$exported" != "$expected" ]; then
  echo "unexpected exports in $lib:" >&2
  diff <(echo "$expected") <(echo "$exported") >&2 || true
  exit 1
fi
echo "exports: $(echo $exported)"
