#!/usr/bin/env bash
# Builds the Debian package from the build folder, installs it with apt-get, checks the
# installed programs as a person's desktop uses them (menu entry, software-centre record,
# launchers on PATH, the window with its styles, manual and Perl modules found), then
# purges it and checks that nothing it brought is left. Needs root or password-less sudo.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${CALVORIA_BUILD_DIR:-$top/build}
id=org.calvoria.calvoria

sudo=()
if [[ $(id -u) -ne 0 ]]; then
    if ! sudo -n true 2> /dev/null; then
        echo "package test SKIPPED: installing a package needs root or password-less sudo"
        exit 0
    fi
    sudo=(sudo -n)
fi
# Programs run as a person would: never as root, whose writes could land under /usr.
as_user=()
[[ $(id -u) -eq 0 ]] && as_user=(runuser -u nobody --)
export DEBIAN_FRONTEND=noninteractive

work=$(mktemp -d /tmp/calvoria-package-XXXXXX)
chmod 755 "$work"
installed=0
failures=0
check() { # check WHAT COMMAND...
    local what=$1
    shift
    if "$@" > "$work/check.out" 2>&1; then
        echo "ok      $what"
    else
        echo "FAILED  $what"
        sed 's/^/        /' "$work/check.out" | head -20
        failures=$((failures + 1))
    fi
}
cleanup() {
    ((installed)) && "${sudo[@]}" apt-get purge -y -q calvoria < /dev/null > /dev/null 2>&1
    "${sudo[@]}" rm -rf "$work"
}
trap cleanup EXIT

echo "== package"
# Up to date with the sources (after the full build this only checks).
cmake --build "$build" --target calvoria calvoria-tool calvoria_perl_modules calvoria_desktop \
    > "$work/build.log" 2>&1 || {
    cat "$work/build.log"
    exit 1
}
(cd "$build" && cpack -G DEB -B "$work/deb") > "$work/cpack.log" 2>&1 || {
    cat "$work/cpack.log"
    exit 1
}
deb=$(echo "$work"/deb/calvoria_*.deb)
version=$(dpkg-deb -f "$deb" Version)
echo "$deb"
dpkg-deb -f "$deb" Depends

# An installed calvoria that is not this project's is left alone.
if dpkg-query -W -f='${Status}' calvoria 2> /dev/null | grep -q "ok installed"; then
    if [[ $(dpkg-query -W -f='${Maintainer}' calvoria) != $(dpkg-deb -f "$deb" Maintainer) ]]; then
        echo "package test REFUSED: a calvoria package from elsewhere is installed"
        exit 1
    fi
    echo "note: replacing the calvoria package installed before"
fi

snapshot() {
    find /usr /etc /var/lib -xdev \( -path /var/lib/dpkg -o -path /var/lib/apt \) -prune \
        -o -print 2> /dev/null | LC_ALL=C sort
}
snapshot > "$work/before"

echo "== install"
installed=1
"${sudo[@]}" apt-get install -y -q --no-install-recommends "$deb" < /dev/null > "$work/apt.log" 2>&1 || {
    cat "$work/apt.log"
    exit 1
}
dpkg-query -L calvoria | sort > "$work/files"
check "menu entry valid" desktop-file-validate /usr/share/applications/$id.desktop
check "software-centre record valid" appstreamcli validate --no-net /usr/share/metainfo/$id.metainfo.xml
check "menu entry in the desktop database" grep -q "$id.desktop" /usr/share/applications/mimeinfo.cache
check "calvoria on PATH is the launcher" test "$(command -v calvoria)" = /usr/bin/calvoria
check "calvoria --version" test "$("${as_user[@]}" calvoria --version | head -n 1)" = "calvoria $version"
check "the licence in --version" bash -c "calvoria --version | grep -q GPL-3.0-or-later"
check "the copyright file" grep -q '^License: GPL-3+' /usr/share/doc/calvoria/copyright
check "calvoria-tool --help" "${as_user[@]}" calvoria-tool --help

# A home of the person's own, writable by the user the programs run as.
home=$work/home
mkdir -p "$home"/{data,config,state,cache,run}
chmod 700 "$home/run"
[[ $(id -u) -eq 0 ]] && chown -R nobody "$home"
run() {
    "${as_user[@]}" env -i PATH=/usr/bin:/bin HOME="$home" XDG_DATA_HOME="$home/data" \
        XDG_CONFIG_HOME="$home/config" XDG_STATE_HOME="$home/state" XDG_CACHE_HOME="$home/cache" \
        XDG_RUNTIME_DIR="$home/run" QTWEBENGINE_DISABLE_SANDBOX=1 "$@"
}
check "calvoria-tool finds its program folder" \
    grep -qx "program folder	/usr/lib/calvoria/bin/" <(run calvoria-tool paths)
sentence="The river rose overnight and the old bridge was closed to traffic for the morning."
printf '<html><body><article><h1>Flood</h1><p>%s %s</p><p>%s</p></article></body></html>\n' \
    "$sentence" "$sentence" "$sentence" > "$home/page.html"
check "calvoria-tool extract (the Perl modules are found)" \
    grep -q "old bridge was closed" <(run calvoria-tool extract "$home/page.html")
echo "$sentence" > "$home/text.txt"
check "calvoria-tool speaks and encodes" run bash -c \
    "cd '$home' && calvoria-tool speak text.txt a.wav && calvoria-tool encode a.wav a.mp3 && test -s a.mp3"

echo "== window"
# Start the installed program on a virtual screen, wait for its window, end it with the
# session's terminate signal.
run timeout -k 5 90 xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
    calvoria & pid=$!
    for i in $(seq 300); do
        xdotool search --onlyvisible --pid $pid --name "^Calvoria$" > /dev/null && break
        sleep 0.1
    done
    xdotool search --onlyvisible --pid $pid --name "^Calvoria$" > /dev/null || echo "no window"
    sleep 1
    kill -TERM $pid
    for i in $(seq 100); do kill -0 $pid 2> /dev/null || break; sleep 0.1; done
    kill -0 $pid 2> /dev/null && echo "still running after the terminate signal" && kill -KILL $pid
    wait $pid; echo "exit $?"' > "$work/gui.out" 2>&1 || true
check "a window named Calvoria appears" bash -c "! grep -q 'no window' '$work/gui.out'"
check "the terminate signal ends the program cleanly" grep -qx "exit 0" "$work/gui.out"
log=$home/state/Calvoria/log.txt
check "the log is in the state folder, not under /usr" \
    test -s "$log" -a ! -e /usr/lib/calvoria/bin/log.txt
check "the log names the installed program folder" grep -q "Exe name '/usr/lib/calvoria/bin'" "$log"
check "the web engine's helper is found" grep -q "IE version [1-9]" "$log"
check "no error line about the program's own files" \
    bash -c "! grep '\*ERROR' '$log' | grep -e /usr/lib/calvoria -e Options -e manual -e include"
# The styles, the example feeds and the manual where the program looks for them:
# <program folder>/../Options/ and <program folder>/../manual/index.html.
folder=$(sed -n "s/.*Exe name '\(.*\)'.*/\1/p" "$log" | head -1)
for style in "$top"/Options/*.xsl "$top"/Options/*.htm "$top"/Options/*.opml; do
    check "style $(basename "$style") found" cmp "$style" "$folder/../Options/$(basename "$style")"
done
check "manual found" test -s "$folder/../manual/index.html"

# What the package installed and is still there: its files, and folders of its own.
leftovers() {
    local f left=0
    while read -r f; do
        [[ -d $f && ! -L $f && $f != *calvoria* ]] && continue # shared folders stay
        [[ -e $f || -L $f ]] && echo "$f" && left=1
    done < "$work/files"
    return $left
}

echo "== purge"
"${sudo[@]}" apt-get purge -y -q calvoria < /dev/null > "$work/apt.log" 2>&1 || cat "$work/apt.log"
installed=0
check "the package is gone" bash -c "! dpkg-query -W -f='\${Status}' calvoria 2>/dev/null | grep -q installed"
check "no installed file is left" leftovers
check "the desktop database forgot the menu entry" bash -c "! grep -q '$id.desktop' /usr/share/applications/mimeinfo.cache"
snapshot > "$work/after"
check "nothing new under /usr, /etc, /var/lib" bash -c "LC_ALL=C comm -13 '$work/before' '$work/after' | grep . && exit 1 || exit 0"

if ((failures)); then
    echo "package test: $failures FAILED"
    exit 1
fi
echo "package test: all passed"
