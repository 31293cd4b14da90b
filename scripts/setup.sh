#!/usr/bin/env bash
# Installs everything the build, the tests and the demonstration need, from Debian's packages.
# Safe to run again: it installs only what is missing.
set -eu
packages=(cmake ninja-build g++ libgtest-dev googletest g++-mingw-w64-i686 g++-mingw-w64-x86-64
          mingw-w64-tools wine64 xvfb libxml2-utils locales clang libclang-rt-dev
          clang-format unzip ccache)
# The product is a 32-bit program: Wine's 32-bit part runs it inside the same 64-bit prefix.
packages32=(wine32:i386)
sudo=""
[ "$(id -u)" = 0 ] || sudo=sudo

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

missing=()
for p in "${packages[@]}" "${packages32[@]}"; do
    installed "$p" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $sudo dpkg --add-architecture i386
    fi
    $sudo apt-get update -qq
    if ! DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null; then
        echo "setup: FAILED to install ${missing[*]} from Debian's packages" >&2
        exit 1
    fi
    for p in "${missing[@]}"; do
        installed "$p" || { echo "setup: FAILED: $p is still not installed" >&2; exit 1; }
    done
fi

# The users' code page is 1251: Wine takes it from a Russian locale. Some users run with UTF-8
# as the ANSI code page (65001): Wine takes that from a locale without an ANSI code page of its
# own, such as Hindi.
for loc in ru_RU hi_IN; do
    if ! locale -a 2>/dev/null | grep -qix "$loc.utf8"; then
        echo "setup: generating the $loc.UTF-8 locale"
        $sudo sed -i "s/^# *\($loc.UTF-8 UTF-8\)/\1/" /etc/locale.gen
        grep -q "^$loc.UTF-8 UTF-8" /etc/locale.gen || echo "$loc.UTF-8 UTF-8" | $sudo tee -a /etc/locale.gen >/dev/null
        $sudo locale-gen >/dev/null
    fi
done
echo "setup: ready"
