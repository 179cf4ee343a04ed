#!/usr/bin/env bash
# Builds the core libraries, the companion and their tests once more with AddressSanitizer
# and UndefinedBehaviorSanitizer (no window code), and runs those tests. Leaks are reported;
# the embedded Perl's own is suppressed by tests/support/lsan.supp.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${CALVORIA_ASAN_BUILD_DIR:-$top/build-asan}
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCALVORIA_ASAN=ON \
    -DCALVORIA_BUILD_GUI=OFF -DCALVORIA_BUILD_TESTS=ON -DCALVORIA_WERROR=ON < /dev/null
cmake --build "$build" < /dev/null
cd "$build"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --output-on-failure -j2 < /dev/null
