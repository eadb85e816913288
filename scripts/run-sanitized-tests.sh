#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds the whole project with AddressSanitizer and UndefinedBehaviorSanitizer in a build folder of
# its own and runs the whole test suite there, through scripts/run-tests.sh (network namespace and
# lab as usual). Any report of either sanitizer, a leak included, ends the test that made it with a
# failure.
#
# Usage: scripts/run-sanitized-tests.sh [BUILD_DIR [CTEST ARGS...]]   (default BUILD_DIR: build-asan)
#
# Qt itself is not instrumented. That costs reports inside Qt's own code, but gives no false ones
# for ours: AddressSanitizer replaces malloc and free for the whole process, so memory that Qt
# allocates and our code misuses (or the other way round) is still caught. The few leaks of the
# system libraries below Qt that live until the process ends are listed, with the reason for each,
# in scripts/lsan.supp.
#
# Exit status: the test run's.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir="${1:-build-asan}"
(($# > 0)) && shift

scripts/install-deps.sh hardening

# The preset "sanitize": gcc, -O1 keeps the suite fast enough and the stack traces exact; Debug
# keeps Q_ASSERT on.
cmake --preset sanitize -B "$build_dir"
cmake --build "$build_dir"

supp="$(realpath scripts/lsan.supp)"
export ASAN_OPTIONS="detect_leaks=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1:halt_on_error=1:abort_on_error=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$supp:print_suppressions=0"
symbolizer="$(command -v llvm-symbolizer || true)"
[[ -n "$symbolizer" ]] && export ASAN_SYMBOLIZER_PATH="$symbolizer"

echo "run-sanitized-tests: running the suite of $build_dir under ASan and UBSan" >&2
exec scripts/run-tests.sh "$build_dir" "$@"
