#!/usr/bin/env bash
# Sets everything up, builds with warnings as errors, and runs every test through CTest.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$top/scripts/setup.sh" -DCALVORIA_WERROR=ON -DCALVORIA_BUILD_TESTS=ON
# The article-extraction development set, when this machine has one.
for dev in "$top/../shared/extraction-dev" /work/shared/extraction-dev; do
    if [[ -f "$dev/score.py" && -z "${CALVORIA_EXTRACTION_DEV:-}" ]]; then
        export CALVORIA_EXTRACTION_DEV=$(cd "$dev" && pwd)
    fi
done
cd "$top/build"
ctest --output-on-failure -j2 < /dev/null
cd "$top"
# The core and its tests once more under AddressSanitizer and UndefinedBehaviorSanitizer.
"$top/scripts/sanitize_test.sh" < /dev/null
# The Debian package: built, installed, started, purged (needs root or sudo -n).
"$top/scripts/package_test.sh" < /dev/null
