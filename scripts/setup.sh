#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need on Debian.
# Idempotent: a second run with everything present does nothing but check.
set -euo pipefail

packages=(
  cmake make g++ googletest
  libgtest-dev python3 clang libclang-rt-dev clang-tidy
  g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  wine wine32 wine64
  xvfb xdotool x11-utils imagemagick
  libarchive-tools locales gnuplot-nox
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
done
dpkg --print-foreign-architectures | grep -qx i386 || { dpkg --add-architecture i386; missing+=(wine32); }

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null
fi

# Wine reads Unix file names outside ASCII only under a glibc locale that exists.
for loc in "en_US.UTF-8 UTF-8" "ja_JP.UTF-8 UTF-8"; do
  grep -qx "$loc" /etc/locale.gen 2>/dev/null || { echo "$loc" >> /etc/locale.gen; regen=1; }
done
if [ "${regen:-0}" = 1 ] || ! locale -a 2>/dev/null | grep -qi '^ja_JP.utf8$'; then
  locale-gen >/dev/null
fi
echo "setup: ready"
