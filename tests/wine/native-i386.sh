#!/usr/bin/env bash
# Succeeds when this host's kernel runs 32-bit x86 programs itself. An emulator that
# someone registered with binfmt_misc runs them too, slowly, and would pass a plain
# probe; so the probe runs where no registration is seen: in a private user and
# mount namespace with a binfmt_misc of its own, where the kernel allows one.
probe=/usr/lib/wine/wine  # a 32-bit program (wine32), the one whose start matters
[ -x "$probe" ] || exit 1
isolated() { unshare --user --map-root-user --mount sh -c \
  'mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc && exec "$@"' sh "$@" >/dev/null 2>&1; }
if isolated true; then
  isolated "$probe" --version
  exit
fi
# No private namespace: an enabled i386 registration means the probe cannot tell.
for entry in /proc/sys/fs/binfmt_misc/*; do
  [ -f "$entry" ] && grep -qx enabled "$entry" 2>/dev/null &&
    grep -q '^magic 7f454c460101.*02000300' "$entry" && exit 1
done
"$probe" --version >/dev/null 2>&1
