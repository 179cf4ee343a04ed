#!/usr/bin/env bash
# Sets everything up, builds with warnings as errors, and runs every test through CTest.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$top/scripts/setup.sh" -DCALVORIA_WERROR=ON -DCALVORIA_BUILD_TESTS=ON
cd "$top/build"
ctest --output-on-failure -j2 < /dev/null
