#!/usr/bin/env bash
# Sets up the machine, builds and runs the whole suite: plain, under ASan+UBSan and under
# ThreadSanitizer, and checks the format of the sources and the lock annotations of the
# library, tools, tests and benchmarks with clang's thread-safety analysis (compiled, not
# run).
# Fails if any variant fails. Pass variant names to run only those.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh

variants=("$@")
[ ${#variants[@]} -gt 0 ] || variants=(plain asan tsan clang)
jobs=$(nproc)

for v in "${variants[@]}"; do
  case $v in
    plain) sanitize="" ;;
    asan) sanitize=address ;;
    tsan) sanitize=thread ;;
    clang)
      # Checks the sources against .clang-format, then compiles the library, the tools,
      # the tests and the benchmarks; runs nothing, as the analysis is all this variant
      # adds.
      echo "== clang: format"
      ./scripts/format.sh --check
      echo "== clang: thread-safety analysis"
      cmake -S . -B build/clang -DCMAKE_CXX_COMPILER=clang++ -DQUORVEL_WERROR=ON \
        -DQUORVEL_BUILD_TESTS=ON -DQUORVEL_BUILD_TOOLS=ON -DQUORVEL_BUILD_BENCH=ON >/dev/null
      cmake --build build/clang -j "$jobs"
      continue ;;
    *) echo "unknown variant: $v (plain, asan, tsan, clang)" >&2; exit 2 ;;
  esac
  dir=build/$v
  echo "== $v: build"
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_WERROR=ON \
    -DQUORVEL_SANITIZE="$sanitize" >/dev/null
  cmake --build "$dir" -j "$jobs"
  echo "== $v: test"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/tests/tsan.supp" \
    ctest --test-dir "$dir" -j "$jobs" --output-on-failure --timeout 300
  if [ "$v" = plain ]; then ./scripts/package_check.sh "$dir"; fi
done
