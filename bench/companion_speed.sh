#!/usr/bin/env bash
# Times the companion's subscription commands: importing an OPML file of 5,000 feeds (no
# downloads) into an empty data folder, and list and news --unread on a data folder of 500
# channels with 200 news each. Each run is a whole calvoria-tool process.
#
#     bench/companion_speed.sh [RUNS]
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
tool=${CALVORIA_TOOL:-$top/build/bin/calvoria-tool}
runs=${1:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data

python3 - "$work/5000.opml" <<'PY'
import sys
out = ['<?xml version="1.0" encoding="UTF-8"?>\n<opml version="2.0"><head><title>5000</title></head><body>']
for g in range(50):
    out.append(f'<outline text="Folder {g}">')
    for f in range(100):
        n = g * 100 + f
        out.append(f'<outline type="rss" text="Feed {n}" xmlUrl="http://feed{n}.example/rss.xml" '
                   f'htmlUrl="http://feed{n}.example/"/>')
    out.append('</outline>')
out.append('</body></opml>\n')
open(sys.argv[1], 'w').write('\n'.join(out))
PY
python3 "$top/bench/make_data_folder.py" "$work/big" --channels 500 --items 200 > /dev/null

seconds() { # command...: wall-clock seconds of one run
    local start end
    start=$(date +%s.%N)
    "$@" > /dev/null
    end=$(date +%s.%N)
    echo "$end - $start" | bc
}
for ((run = 0; run < runs; run++)); do
    # A new folder each run: ext4 is slow to create files right after deleting thousands,
    # which is not what a person's import meets.
    start=$(date +%s.%N)
    line=$("$tool" import "$work/5000.opml" --data "$work/imported-$run" | tail -1)
    end=$(date +%s.%N)
    echo "import 5000: $(echo "$end - $start" | bc) s (${line#*new groups 50, })"
    echo "list 500x200: $(seconds "$tool" list --data "$work/big") s"
    echo "news --unread 500x200: $(seconds "$tool" news --unread --data "$work/big") s"
done
