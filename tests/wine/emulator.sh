#!/usr/bin/env bash
# On a host that runs 64-bit code only: 32-bit x86 programs, and so the 32-bit
# Wine loader, started through QEMU's i386 user-mode emulator (scripts/setup.sh
# installs it).
#   emulator.sh available   succeeds when a command can be run that way here
#   emulator.sh run CMD...  runs CMD so, and passes on its exit code
# The emulator is registered for that command alone: in a private user and mount
# namespace with a binfmt_misc of its own where the kernel allows one (nothing
# else on the host sees it), otherwise host-wide under a name of its own for the
# run, removed after it however the run ends.
set -euo pipefail
interpreter=/usr/local/lib/quarn-emulator/i386-binfmt-P
# i386 ELF executables and shared objects. O: the kernel hands QEMU an open
# file; C: set-user-ID rules as for the program; F: QEMU is opened now, so the
# registration works in every mount namespace; P: argv[0] is passed on.
rule() {
  printf ':%s:M::\\x7f\\x45\\x4c\\x46\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:' "$1"
  printf '\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\xfc\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:%s:OCFP' "$interpreter"
}
private() {  # CMD...: runs CMD in a namespace of its own with the emulator registered
  unshare --user --map-root-user --mount sh -c \
    'mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc && printf "%s" "$0" > /proc/sys/fs/binfmt_misc/register && exec "$@"' \
    "$(rule quarn-i386)" "$@"
}

if ! "${interpreter%/*}/qemu-i386" --version >/dev/null 2>&1; then
  [ "${1:-}" = available ] || echo "emulator: no i386 emulator in ${interpreter%/*} (scripts/setup.sh installs it)" >&2
  exit 1
fi
case "${1:?available or run}" in
  available)
    private true 2>/dev/null && exit 0
    [ "$(id -u)" = 0 ] && [ -d /proc/sys/fs/binfmt_misc ]
    ;;
  run)
    shift
    if private true 2>/dev/null; then
      private "$@"
      exit
    fi
    echo "emulator: no private namespace here; the i386 emulator is registered host-wide for this run"
    binfmt=/proc/sys/fs/binfmt_misc
    [ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
    name="quarn-i386-$$"
    trap 'echo -1 > "$binfmt/$name" 2>/dev/null || true' EXIT
    trap 'exit 130' INT TERM HUP
    printf "%s" "$(rule "$name")" > "$binfmt/register"
    code=0
    "$@" || code=$?
    exit "$code"
    ;;
esac
