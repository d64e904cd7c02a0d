#!/usr/bin/env bash
# Installs Debian packages, only those that are missing: apt-get runs at most
# once (update, then install). Without arguments, the packages the build and
# the tests need; the other install scripts pass their own lists.
#   install-deps.sh [PACKAGE...]
set -euo pipefail

packages=(cmake g++ make libgtest-dev libbenchmark-dev binutils)
[ $# -gt 0 ] && packages=("$@")

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if ! command -v apt-get > /dev/null; then
    echo "install-deps: missing ${missing[*]}, and apt-get is not available to install them" >&2
    exit 1
fi
if [ "$(id -u)" -eq 0 ]; then
    sudo=()
elif command -v sudo > /dev/null; then
    sudo=(sudo)
else
    echo "install-deps: missing ${missing[*]}; run as root or install sudo" >&2
    exit 1
fi

echo "install-deps: installing ${missing[*]}"
"${sudo[@]}" apt-get update
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
