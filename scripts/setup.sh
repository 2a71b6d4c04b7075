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
  7zip
)
# The real RAR archiver and its own reader live in Debian's non-free component:
# wanted for the tests against the real archiver, which are skipped without them.
non_free=(rar unrar)

installed() { dpkg-query -W -f='${Status}\n' "$1" 2>/dev/null | grep -q '^install ok installed$'; }
apt_install() { DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@" >/dev/null; }

missing=()
for p in "${packages[@]}"; do installed "$p" || missing+=("$p"); done
dpkg --print-foreign-architectures | grep -qx i386 || { dpkg --add-architecture i386; missing+=(wine32); }
missing_non_free=()
for p in "${non_free[@]}"; do installed "$p" || missing_non_free+=("$p"); done

codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
non_free_list=/etc/apt/sources.list.d/quarn-non-free.sources
if [ ${#missing_non_free[@]} -gt 0 ] &&
   ! grep -rqsE '^(Components:|deb ).*[[:space:]]non-free([[:space:]]|$)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  cat > "$non_free_list" <<EOF
Types: deb
URIs: http://deb.debian.org/debian
Suites: $codename $codename-updates
Components: non-free
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
fi

if [ ${#missing[@]} -gt 0 ] || [ ${#missing_non_free[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]} ${missing_non_free[*]}"
  apt-get update -qq
  [ ${#missing[@]} -eq 0 ] || apt_install "${packages[@]}"
  # Each on its own, so that one that cannot be had keeps none of the others out.
  for p in "${missing_non_free[@]}"; do
    apt_install "$p" 2>/dev/null || echo "setup: $p cannot be installed here: the tests against the real archiver will be skipped"
  done
fi

# Wine reads Unix file names outside ASCII only under a glibc locale that exists.
# The caller's own UTF-8 locale is made too (the entry scripts pass it on in
# QUARN_CALLER_LOCALE), so that no shell started after this one warns about it.
wanted=(en_US.UTF-8 ja_JP.UTF-8)
caller=${QUARN_CALLER_LOCALE:-${LC_ALL:-${LANG:-}}}
grep -qx "$caller UTF-8" /usr/share/i18n/SUPPORTED 2>/dev/null && wanted+=("$caller")
regen=0
for name in "${wanted[@]}"; do
  grep -qx "$name UTF-8" /etc/locale.gen 2>/dev/null || { echo "$name UTF-8" >> /etc/locale.gen; regen=1; }
  locale -a 2>/dev/null | grep -qix "${name%.UTF-8}.utf8" || regen=1
done
[ "$regen" = 0 ] || locale-gen >/dev/null

# On a host that runs 64-bit code only, the shipped 32-bit program runs under QEMU's
# i386 user-mode emulator (tests/wine/emulator.sh). Debian 12's QEMU 7.2 takes
# about a minute to start each 32-bit Wine process; the next release's static
# qemu-i386 (QEMU 10) takes a fraction of a second. Only that one binary is
# unpacked from its package, into a folder of our own: nothing else of the newer
# release is installed.
emulator_dir=/usr/local/lib/quarn-emulator
if ! "$(dirname "$0")/../tests/wine/native-i386.sh" && ! "$emulator_dir/qemu-i386" --version >/dev/null 2>&1; then
  echo "setup: fetching the i386 user-mode emulator (qemu-user of Debian 13)"
  apt_dir=$(mktemp -d)
  trap 'rm -rf "$apt_dir"' EXIT
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
  echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian trixie main" \
    > "$apt_dir/sources.list"
  private_apt=(-o Dir::Etc::SourceList="$apt_dir/sources.list" -o Dir::Etc::SourceParts=/nonexistent
               -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache" -o APT::Architectures=amd64
               -o APT::Sandbox::User=root)
  if apt-get "${private_apt[@]}" update -qq >/dev/null &&
     (cd "$apt_dir" && apt-get "${private_apt[@]}" download qemu-user >/dev/null); then
    mkdir -p "$emulator_dir"
    dpkg-deb --fsys-tarfile "$apt_dir"/qemu-user_*.deb | tar -x -O ./usr/bin/qemu-i386 > "$emulator_dir/qemu-i386.new"
    chmod 755 "$emulator_dir/qemu-i386.new"
    mv "$emulator_dir/qemu-i386.new" "$emulator_dir/qemu-i386"
    # The name tells QEMU that the kernel passes the program's own argv[0] on.
    ln -sf qemu-i386 "$emulator_dir/i386-binfmt-P"
  else
    echo "setup: the i386 emulator cannot be had: the 32-bit program will not be run by the tests"
  fi
fi
echo "setup: ready"
