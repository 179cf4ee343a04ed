#!/usr/bin/env bash
# Sets everything up, builds, and starts Calvoria.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$top/scripts/setup.sh"
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    echo "No display found: starting Calvoria on a virtual one (xvfb-run)."
    exec xvfb-run -a "$top/build/bin/calvoria"
fi
exec "$top/build/bin/calvoria"
