#!/usr/bin/env bash
# Starts the real program on a virtual screen with a sample data folder and saves what a
# person sees, one PNG per named state:
#     theme-<blue|silver|olive|system>-<large|small>.png   each colour theme, both button sizes
#     search-bar.png                                        the search bar open (Ctrl+F)
#     tray-menu.png                                         hidden in the tray, its menu open
#     about.png                                             Help > About Calvoria...
#     news-list.png          a channel open: unread counts, news with preview lines
#     news-only-unread.png   the same channel with View > Show only unread (Ctrl+Shift+U)
#     busy-channel.png       a channel downloading from a server that does not answer
#     tree-menu.png          the channel tree's context menu (Shift+F10)
#     news-menu.png          the news list's context menu
#     new-channel.png        File > New channel in a group
#     feed-handoff.png       a browser's feed: link handed to the running copy, verified
#     options-<page>.png     Tools > Options, each page
#     options-share.png      the Share audio page: sharing on, the feed address and its QR code
#     options-data-folder.png  a data folder typed that holds news of its own: asked first
#     sync-dialog.png        File > Synchronize: two channels' prepared news, a player with room
#     sync-no-room.png       the same with a card that has no room: sizes in red
#     sync-link.png          the player's folder is a link off the device: refused, Copy off
#     reading-<default|compact|dark>.png   a news item in the reading pane, in each style
#     article-<default|compact|dark>.png   the same news as its full article (View > Full article,
#                            Ctrl+Shift+A, its button checked on the tool bar), in each style
#     reading-channel.png    a channel's page, the reading pane at the right
#     reading-group.png      a group's page
#     welcome-<default|compact|dark>.png   the first start on an empty data folder: the welcome page
#     news-popups.png        hidden in the tray, "Update all groups": a stack of news popups
#     desktop-notification.png  the same refresh told by the desktop's notification server
#     shortcuts.png          Help > Keyboard shortcuts (Ctrl+F1); shortcuts-filter.png with "update" typed
#     tray-badge.png         the tray icon with its unread badge in a 22 and a 16 px panel, enlarged 8x
#     listening-preparing.png  Listen (Ctrl+L) on news not spoken yet: "Preparing 1 of 19…"
#     listening-playing.png  the listening bar playing that news, the list following it
#     listening-dark.png     the same in the Dark style, at 1.5x speed
#
#     scripts/screenshots.sh OUTDIR
# Needs xvfb-run, ImageMagick's import, xdotool, xwininfo, trayer and pulseaudio. Uses build/.
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
# A sample data folder whose channels are served from this machine.
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
# Twelve feeds are subscribed; the thirteenth is the one a browser hands over.
python3 "$top/bench/serve_feeds.py" "$port" --count 13 --items 20 --local-articles > /dev/null 2>&1 &
server=$!
# And one that takes connections but never answers: its channel stays busy.
silent=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -c 'import socket, sys, time
s = socket.socket(); s.bind(("127.0.0.1", int(sys.argv[1]))); s.listen(50); held = []
while True: held.append(s.accept())' "$silent" &
silent_server=$!
trap 'kill $server $silent_server 2>/dev/null; rm -rf "$work"' EXIT
# Sound goes to a PulseAudio server of our own whose only sink is silent.
mkdir -p "$work/pulse" && chmod 700 "$work/pulse"
HOME=$work/pulse XDG_RUNTIME_DIR=$work/pulse XDG_CONFIG_HOME=$work/pulse pulseaudio -n \
    --daemonize=no --system=false --exit-idle-time=-1 --use-pid-file=false --log-level=error \
    --load="module-native-protocol-unix socket=$work/pulse/native auth-anonymous=1" \
    --load="module-null-sink sink_name=silent" 2> /dev/null &
pulse=$!
trap 'kill $server $silent_server $pulse 2>/dev/null; rm -rf "$work"' EXIT
export PULSE_SERVER=unix:$work/pulse/native
python3 "$top/bench/make_data_folder.py" "$XDG_DATA_HOME/Calvoria" --groups 3 --channels 12 \
    --items 20 --url-base "http://127.0.0.1:$port/" --article-base "http://127.0.0.1:$port/" > /dev/null

# The preferences record ("Options/Main", 56 bytes, little-endian) with the defaults but
# for the colour theme, the button size and optionally the reading pane's position (1 right,
# 2 bottom) and the reading style.
write_settings() {
    python3 - "$1" "$2" "${3:-2}" "${4:-Default.xsl}" > "$XDG_CONFIG_HOME/Trevane Labs/Calvoria.conf" <<'EOF'
import struct, sys
theme, large, pane, style = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
record = struct.pack("<10i8B2i", 6, 2, pane, 2000, theme, -4, 15, 0, 3, 15,
                     1, 0, 1, 1, 1, large, 1, 1, 200, 4)
print("[Options]\nMain=@ByteArray(" + "".join("\\x%x" % b for b in record) + ")")
print("ReadStyle=" + style)
EOF
}

# Runs the program on its own virtual screen with a notification area (trayer at the top
# right), waits for its window, then runs "$@".
shoot() {
    local name=$1
    shift
    xvfb-run -a -s "-screen 0 1100x700x24" bash -c '
        trayer --edge top --align right --widthtype pixel --width 60 --heighttype pixel \
            --height ${TRAY_HEIGHT:-30} --SetDockType false --transparent false 2> /dev/null & tray=$!
        sleep 0.5
        "$0" 2> /dev/null & pid=$!
        for _ in $(seq 100); do
            xwininfo -root -tree 2>/dev/null | grep -q "\"Calvoria\"" && break
            sleep 0.1
        done
        sleep 1.5
        '"$*"'
        import -window root "'"$out/$name"'.png"
        kill $pid $tray; wait $pid' "$program"
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
focus='xdotool search --onlyvisible --name "^Calvoria$" windowfocus --sync 2> /dev/null'
shoot search-bar "$focus key ctrl+f 2> /dev/null; sleep 0.7"
shoot about "$focus key alt+h 2> /dev/null; sleep 0.4; xdotool key a 2> /dev/null; sleep 0.8"
CALVORIA_SHOW_COMMAND=2 shoot tray-menu \
    "sleep 0.5; xdotool mousemove \$(python3 '$top/scripts/tray_icon_center.py') click 3; sleep 0.8"

# The keyboard from the start: the tree has the focus; Group 0's first channel is row 4.
open_channel="$focus key Home Down Down Down 2> /dev/null; sleep 1.2"
shoot news-list "$open_channel"
# Shown only unread, the choice kept in the settings: written afresh afterwards.
shoot news-only-unread "$open_channel; xdotool key F6 ctrl+shift+u 2> /dev/null; sleep 0.8"
write_settings 0 1
shoot tree-menu "$open_channel; xdotool key shift+F10 2> /dev/null; sleep 0.6"
shoot news-menu "$open_channel; xdotool key F6 Down shift+F10 2> /dev/null; sleep 0.6"
shoot new-channel "$focus key Home Down Down 2> /dev/null; sleep 0.5; xdotool key ctrl+n 2> /dev/null; sleep 1"
shoot feed-handoff "\"\$0\" feed://127.0.0.1:$port/feed12.xml; sleep 3"
options="$focus key alt+t 2> /dev/null; sleep 0.4; xdotool key o 2> /dev/null; sleep 1"
shoot options-general "$options"
shoot options-appearance "$options; xdotool key ctrl+Tab 2> /dev/null; sleep 0.5"
shoot options-news "$options; xdotool key ctrl+Tab ctrl+Tab 2> /dev/null; sleep 0.5"
shoot options-voice "$options; xdotool key ctrl+Tab ctrl+Tab ctrl+Tab 2> /dev/null; sleep 0.8"
# Sharing on, one group with a feed of its own: the address to subscribe to and its code.
printf '[Share]\nEnabled=true\nGroups=Group 1\n' >> "$XDG_CONFIG_HOME/Trevane Labs/Calvoria.conf"
shoot options-share "$options; xdotool key ctrl+Tab ctrl+Tab ctrl+Tab ctrl+Tab 2> /dev/null; sleep 0.8"
write_settings 0 1
mkdir -p "$work/other"
cp "$XDG_DATA_HOME/Calvoria/data.opml" "$work/other/"
shoot options-data-folder "$options; xdotool key alt+d ctrl+a 2> /dev/null; xdotool type '$work/other' 2> /dev/null; xdotool key Return 2> /dev/null; sleep 1"
# The reading pane: a news item in each style (pane at the bottom), a channel's page with
# the pane at the right, a group's page.
for style in Default Compact Dark; do
    write_settings 0 1 2 "$style.xsl"
    shoot "reading-${style,,}" "$open_channel; xdotool key F6 Down 2> /dev/null; sleep 2"
    shoot "article-${style,,}" "$open_channel; xdotool key F6 Down ctrl+shift+a 2> /dev/null; sleep 3"
done
write_settings 0 1 1
shoot reading-channel "$open_channel; sleep 1.5"
write_settings 0 1
shoot reading-group "$focus key Home Down Down 2> /dev/null; sleep 2"
# The first start: no data folder yet, the welcome page in each style.
for style in Default Compact Dark; do
    write_settings 0 1 2 "$style.xsl"
    XDG_DATA_HOME=$work/first-start shoot "welcome-${style,,}" "sleep 2"
    rm -rf "$work/first-start"
done
write_settings 0 1
# Desktop notifications chosen, a refresh told by dunst on a session bus of our own; in a
# copy of the data folder, so that the popups below still have news to show.
cp -r "$XDG_DATA_HOME" "$work/data-notify"
write_settings 0 1
echo "AnnounceNews=1" >> "$XDG_CONFIG_HOME/Trevane Labs/Calvoria.conf"
bus=$(dbus-daemon --config-file="$top/tests/e2e/private-bus.conf" --fork --print-address=1 \
      --print-pid=1)
XDG_DATA_HOME=$work/data-notify DBUS_SESSION_BUS_ADDRESS=$(head -1 <<< "$bus") \
    CALVORIA_SHOW_COMMAND=2 shoot desktop-notification \
    "dunst > /dev/null 2>&1 & sleep 0.5; \"\$0\" --refresh-all; sleep 3"
kill "$(tail -1 <<< "$bus")"
write_settings 0 1
# Hidden in the tray, the tray menu's "Update all groups": every served channel has news.
CALVORIA_SHOW_COMMAND=2 shoot news-popups \
    "sleep 0.5; xdotool mousemove \$(python3 '$top/scripts/tray_icon_center.py') click 3; sleep 0.8; xdotool key Down Down Return 2> /dev/null; xdotool mousemove 300 300; sleep 2.5"
shoot shortcuts "$focus key ctrl+F1 2> /dev/null; sleep 0.8"
# Typed once the list's own window has the keyboard, however long it takes to appear.
shoot shortcuts-filter "$focus key ctrl+F1 2> /dev/null; xdotool search --sync --onlyvisible --name Keyboard windowfocus --sync 2> /dev/null; sleep 0.3; xdotool type update 2> /dev/null; sleep 0.5"
# Listening: the second news of a channel, not spoken yet, while it is prepared and once it
# plays (the list follows it; the bar shows its channel, times and speed).
listen="$open_channel; xdotool key F6 Down Down ctrl+l 2> /dev/null"
shoot listening-preparing "$listen; sleep 0.8"
shoot listening-playing "$listen; sleep 8"
write_settings 0 1 2 Dark.xsl
printf '[Listen]\nRate=1.5\n' >> "$XDG_CONFIG_HOME/Trevane Labs/Calvoria.conf"
shoot listening-dark "$listen; sleep 6"
write_settings 0 1
# The tray icon cut from the panel and enlarged: every channel's news are unread (99+).
# $1: the panel's height; the square of that size around the icon, cut from the screen.
crop_tray_icon() {
    echo "sleep 2; set -- \$(python3 '$top/scripts/tray_icon_center.py'); import -window root -crop $1x$1+\$((\$1 - $1 / 2))+\$((\$2 - $1 / 2)) +repage -filter point -resize 800% '$work/badge$1.png'"
}
TRAY_HEIGHT=22 CALVORIA_SHOW_COMMAND=2 shoot tray-badge-22 "$(crop_tray_icon 22)" > /dev/null
TRAY_HEIGHT=16 CALVORIA_SHOW_COMMAND=2 shoot tray-badge-16 "$(crop_tray_icon 16)" > /dev/null
rm -f "$out/tray-badge-22.png" "$out/tray-badge-16.png" # the screens around them are empty
convert "$work/badge22.png" "$work/badge16.png" -background white -gravity center +append \
    "$out/tray-badge.png"
echo "$out/tray-badge.png"
# Prepared news of two channels and two removable volumes of a system tree of our own.
python3 "$top/scripts/sample_device.py" "$XDG_DATA_HOME/Calvoria" "$work/system" "$work/player" \
    "Channel 0" "Channel 1"
sync="$focus key alt+f 2> /dev/null; sleep 0.4; xdotool key s 2> /dev/null; sleep 1"
write_settings 0 1
printf 'DefaultDeviceName=Acme Player\nDefaultDeviceFolder=Music/News\n' \
    >> "$XDG_CONFIG_HOME/Trevane Labs/Calvoria.conf"
CALVORIA_DEVICE_ROOT=$work/system shoot sync-dialog "$sync"
write_settings 0 1
printf 'DefaultDeviceName=CARD\nDefaultDeviceFolder=Music/News\n' \
    >> "$XDG_CONFIG_HOME/Trevane Labs/Calvoria.conf"
CALVORIA_DEVICE_ROOT=$work/system shoot sync-no-room "$sync"
write_settings 0 1
mkdir -p "$work/elsewhere"
ln -s "$work/elsewhere" "$work/player/Podcasts"
printf 'DefaultDeviceName=Acme Player\nDefaultDeviceFolder=Podcasts\n' \
    >> "$XDG_CONFIG_HOME/Trevane Labs/Calvoria.conf"
CALVORIA_DEVICE_ROOT=$work/system shoot sync-link "$sync"
write_settings 0 1
# The last channel of the tree points at the silent server.
sed -i "0,/xmlUrl=\"http:\/\/127.0.0.1:$port\/feed11.xml\"/s//xmlUrl=\"http:\/\/127.0.0.1:$silent\/feed11.xml\"/" \
    "$XDG_DATA_HOME/Calvoria/data.opml"
shoot busy-channel "$focus key ctrl+shift+F5 2> /dev/null; sleep 1.5"
