#!/usr/bin/env bash
# Refreshes COUNT local feeds twice with calvoria-tool: the first refresh downloads them
# all, the second finds them unchanged (the server answers 304). Prints each refresh's
# time and what went over the wire; --no-etag serves no validators, for comparison.
#
#     bench/conditional_refresh.sh [COUNT] [--no-etag]
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
tool=${CALVORIA_TOOL:-$top/build/bin/calvoria-tool}
count=${1:-500}
shift || true
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
work=$(mktemp -d)
python3 "$top/bench/serve_feeds.py" "$port" --count "$count" --items 50 "$@" &
server=$!
trap 'kill $server; rm -rf "$work"' EXIT
export HOME=$work/home XDG_DATA_HOME=$work/home/.local/share XDG_CONFIG_HOME=$work/home/.config \
       XDG_STATE_HOME=$work/home/.local/state
mkdir -p "$HOME"
python3 "$top/bench/make_data_folder.py" "$work/data" --channels "$count" --items 0 \
    --url-base "http://127.0.0.1:$port/" --no-channel-files > /dev/null
until curl -s "http://127.0.0.1:$port/stats" > /dev/null; do sleep 0.1; done

for run in first second; do
    start=$(date +%s.%N)
    summary=$("$tool" refresh "$work/data" | tail -1)
    end=$(date +%s.%N)
    stats=$(curl -s "http://127.0.0.1:$port/stats?reset")
    printf '%-6s  %s\n        whole run %.2f s; served: %s\n' "$run" "$summary" \
        "$(echo "$end - $start" | bc)" "$stats"
done
