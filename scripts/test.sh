#!/usr/bin/env bash
# Runs the whole test suite through ctest twice, installing and building
# first when needed:
#  1. in the normal build (build/, or $WF_BUILD_DIR);
#  2. in the sanitizer build (build-asan/, or $WF_ASAN_BUILD_DIR): the plug-in
#     and end-to-end tests under AddressSanitizer with leak detection and
#     UndefinedBehaviorSanitizer, halting at the first finding; its label
#     leakcheck collects the reports of the end-to-end tests and of every
#     wfhost they start.
# Arguments go to both ctest runs (e.g. -L e2e). WF_SANITIZER_PASS=0 skips the
# second run. Stops at the first run that fails, so the output ends with the
# summary of the run that decided the result.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# Debian suggests this switch against a Xerces-C CVE; it breaks every DOCTYPE.
unset XERCES_DISABLE_DTD
"$root/scripts/install-deps.sh"

"$root/scripts/build.sh"
(cd "${WF_BUILD_DIR:-$root/build}" && ctest --output-on-failure -j"$(nproc)" "$@")

[ "${WF_SANITIZER_PASS:-1}" = 0 ] && exit 0
# To stay within the CI time budget the sanitizer build is unoptimised (it
# compiles fastest) and holds the libraries, wfhost and the plug-in,
# end-to-end and API tests, not the host framework's unit tests (the fuzz targets
# run the host's converters and loaders under the same sanitizers); the test
# programs' own code is built without the undefined-behaviour checks
# (tests/CMakeLists.txt).
WF_BUILD_DIR=${WF_ASAN_BUILD_DIR:-$root/build-asan} "$root/scripts/build.sh" -DWF_SANITIZE=ON \
  -DWF_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O0 -g1" -DWF_TEST_FOLDERS="plugin;e2e;api"
export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=1:strict_string_checks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions=$root/tests/lsan-suppressions.txt:print_suppressions=0
cd "${WF_ASAN_BUILD_DIR:-$root/build-asan}"
ctest --output-on-failure -j"$(nproc)" "$@"
