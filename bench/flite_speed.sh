#!/usr/bin/env bash
# Speech plus MP3 for a 1,000-word article: calvoria-tool (speak with flite/rms, then
# encode) against the flite command-line tool and lame with the same MP3 settings. flite
# opens its output for reading and writing, so it cannot write into a pipe: it writes a WAV
# file that lame then reads, as calvoria-tool does.
# usage: bench/flite_speed.sh CALVORIA-TOOL [RUNS]
set -euo pipefail
tool=$(realpath "$1")
runs=${2:-5}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The first 1,000 words of the news passages, read round until there are enough.
cat "$here"/voice-passages/*.txt "$here"/voice-passages/*.txt | tr -s ' \n' '  ' |
    cut -d' ' -f1-1000 > "$work/article.txt"
echo "words: $(wc -w < "$work/article.txt")"

hyperfine --runs "$runs" --warmup 1 --export-markdown "$work/result.md" \
    -n calvoria "'$tool' speak '$work/article.txt' '$work/c.wav' --voice flite/rms >/dev/null && '$tool' encode '$work/c.wav' '$work/c.mp3' >/dev/null" \
    -n flite+lame "flite -voice rms -f '$work/article.txt' -o '$work/f.wav' && lame --quiet -m m -b 64 --cbr -q 5 '$work/f.wav' '$work/f.mp3'"
cat "$work/result.md"
for f in c f; do
    echo "$f.mp3: $(stat -c %s "$work/$f.mp3") bytes"
done
