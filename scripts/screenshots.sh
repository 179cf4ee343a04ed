#!/usr/bin/env bash
# Starts the real program on a virtual screen with a sample data folder and saves what a
# person sees, one PNG per named state:
#     theme-<blue|silver|olive|system>-<large|small>.png   each colour theme, both button sizes
#     search-bar.png                                        the search bar open (Ctrl+F)
#
#     scripts/screenshots.sh OUTDIR
# Needs xvfb-run and ImageMagick's import; the search bar needs xdotool. Uses build/.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=${1:?usage: screenshots.sh OUTDIR}
mkdir -p "$out"
out=$(cd "$out" && pwd)
program=${CALVORIA_BIN:-$top/build/bin/calvoria}
[[ -x "$program" ]] || { echo "build the program first: scripts/setup.sh" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config \
       XDG_STATE_HOME=$work/state XDG_RUNTIME_DIR=$work/run QTWEBENGINE_DISABLE_SANDBOX=1
mkdir -p "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME/Trevane Labs" && chmod 700 "$XDG_RUNTIME_DIR"
python3 "$top/bench/make_data_folder.py" "$XDG_DATA_HOME/Calvoria" --groups 3 --channels 12 \
    --items 20 --url-base http://127.0.0.1:1/ > /dev/null

# The preferences record ("Options/Main", 56 bytes, little-endian) with the defaults but
# for the colour theme and the button size.
write_settings() {
    python3 - "$1" "$2" > "$XDG_CONFIG_HOME/Trevane Labs/Calvoria.conf" <<'EOF'
import struct, sys
theme, large = int(sys.argv[1]), int(sys.argv[2])
record = struct.pack("<10i8B2i", 6, 2, 2, 2000, theme, -4, 15, 0, 3, 15,
                     1, 0, 1, 1, 1, large, 1, 1, 200, 4)
print("[Options]\nMain=@ByteArray(" + "".join("\\x%x" % b for b in record) + ")")
EOF
}

# Runs the program on its own virtual screen, waits for its window, then runs "$@".
shoot() {
    local name=$1
    shift
    xvfb-run -a -s "-screen 0 1100x700x24" bash -c '
        "$0" & pid=$!
        for _ in $(seq 100); do
            xwininfo -root -tree 2>/dev/null | grep -q "\"Calvoria\"" && break
            sleep 0.1
        done
        sleep 1.5
        '"$*"'
        import -window root "'"$out/$name"'.png"
        kill $pid; wait $pid' "$program"
    echo "$out/$name.png"
}

names=(blue silver olive system)
for theme in 0 1 2 3; do
    for large in 1 0; do
        write_settings "$theme" "$large"
        size=$([[ $large == 1 ]] && echo large || echo small)
        shoot "theme-${names[$theme]}-$size" true
    done
done

write_settings 0 1
if command -v xdotool > /dev/null; then
    shoot search-bar 'xdotool search --name "^Calvoria$" windowfocus --sync key ctrl+f; sleep 0.7'
else
    echo "xdotool is missing: no search-bar.png" >&2
fi
