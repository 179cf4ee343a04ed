#!/usr/bin/env bash
# Installs what the project needs (only when something is missing), then configures and
# builds it into build/. Runs unattended: no prompts, nothing read from standard input.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

missing=()
while read -r package; do
    [[ -z "$package" || "$package" == \#* ]] && continue
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" \
        || missing+=("$package")
done < "$top/scripts/debian-packages.txt"

if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo=()
    [[ $(id -u) -ne 0 ]] && sudo=(sudo -n)
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update -q < /dev/null
    "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}" < /dev/null
fi

build=${CALVORIA_BUILD_DIR:-$top/build}
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" < /dev/null
cmake --build "$build" < /dev/null
