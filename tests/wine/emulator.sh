#!/usr/bin/env bash
# On a host that runs 64-bit code only: 32-bit x86 programs, and so the 32-bit
# Wine loader, started through QEMU's i386 user-mode emulator (scripts/setup.sh
# installs it).
#   emulator.sh available       succeeds when a command can be run that way here;
#                               it registers and mounts nothing
#   emulator.sh run CMD...      runs CMD so, and passes on its exit code
#   emulator.sh session CMD...  runs CMD, a test run whose 32-bit commands each
#                               use `run`, and passes on its exit code
# The emulator is registered for that command alone: in a private user and mount
# namespace with a binfmt_misc of its own where the kernel allows one (nothing
# else on the host sees it), otherwise host-wide while CMD runs (README.md, "This
# machine runs only 64-bit code?", tells what that does to the host). `session`
# makes that namespace for the whole of CMD, and each `run` inside uses it (told
# by QUARN_EMULATOR_NAMESPACE): the server of a Wine session opens the files for
# all its programs, so it must see what each test mounts. Where there is no such namespace, `session` runs CMD as
# it is, and each `run` inside registers host-wide for its own command alone.
set -euo pipefail
interpreter=/usr/local/lib/quarn-emulator/i386-binfmt-P
binfmt=/proc/sys/fs/binfmt_misc
# i386 ELF executables and shared objects. O: the kernel hands QEMU the program as
# an open file, so QEMU need not open it again by name; F: QEMU is opened now, so
# the registration works in every mount namespace; P: the program gets the argv[0]
# it was started with. No C: no 32-bit program here is set-user-ID.
rule() {
  printf ':%s:M::\\x7f\\x45\\x4c\\x46\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:' "$1"
  printf '\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\xfc\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:%s:OFP' "$interpreter"
}
private() {  # CMD...: runs CMD in a namespace of its own with the emulator registered
  # shellcheck disable=SC2016 # the inner sh expands them
  QUARN_EMULATOR_NAMESPACE=yes unshare --user --map-root-user --mount sh -c \
    'mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc && printf "%s" "$0" > /proc/sys/fs/binfmt_misc/register && exec "$@"' \
    "$(rule quarn-i386)" "$@"
}

# Host-wide, a run's entry is named quarn-i386-PIDNS-PID-START after the shell
# that made it: its PID namespace, PID and start time tell it from every other
# process, earlier or later, so the name is no one else's, and a later run in the
# same PID namespace can tell when its maker is gone. "-mounted" follows where
# that run mounted binfmt_misc.
pid_namespace=$(readlink /proc/self/ns/pid)
pid_namespace=${pid_namespace//[!0-9]/}
started() {  # PID: when that process started, in clock ticks since boot
  local stat fields
  read -r stat 2>/dev/null < "/proc/$1/stat" || return 1
  read -r -a fields <<< "${stat##*) }"  # past the command's name, which may hold spaces
  echo "${fields[19]}"
}
# A run that was killed (KILL leaves it no time) cannot undo what it did: the next
# run here removes every such entry whose maker is gone, and unmounts binfmt_misc
# in its stead.
remove_orphans() {
  local entry id
  for entry in "$binfmt"/quarn-i386-"$pid_namespace"-*; do
    id=${entry##*/quarn-i386-"$pid_namespace"-}
    [[ $id =~ ^([0-9]+)-([0-9]+)(-mounted)?$ ]] || continue
    [ "$(started "${BASH_REMATCH[1]}")" != "${BASH_REMATCH[2]}" ] || continue
    if echo -1 2>/dev/null > "$entry"; then
      echo "emulator: removed ${entry##*/}, left by a run that was killed"
      [ -z "${BASH_REMATCH[3]}" ] || mounted=yes
    fi
  done
}
others_registered() {
  local entry
  for entry in "$binfmt"/*; do
    case "${entry##*/}" in register | status) ;; *) return 0 ;; esac
  done
  return 1
}
# Undoes what this run did, and only that: each step is noted once it succeeded.
# Unmounting drops every entry, so binfmt_misc stays mounted while anyone else's
# is there.
registered='' mounted='' child=''
clean_up() {
  [ -z "$registered" ] || echo -1 > "$binfmt/$registered" || true
  if [ -n "$mounted" ]; then
    if others_registered; then
      echo "emulator: binfmt_misc stays mounted at $binfmt: others registered there meanwhile"
    else
      umount "$binfmt" || true
    fi
  fi
}
host_wide() {  # CMD...: runs CMD with the emulator registered host-wide meanwhile
  echo "emulator: no private namespace here; the i386 emulator is registered host-wide while $1 runs"
  # A signal is acted on at once, not when CMD ends (CMD runs in the background for
  # that): TERM or HUP is passed on to CMD and the entry removed without waiting
  # for it, since a KILL may follow. INT comes from the terminal, to CMD too.
  trap clean_up EXIT
  trap 'kill -TERM "$child" 2>/dev/null; exit 143' TERM
  trap 'kill -HUP "$child" 2>/dev/null; exit 129' HUP
  trap 'exit 130' INT
  if [ ! -e "$binfmt/register" ]; then
    mount -t binfmt_misc binfmt_misc "$binfmt"
    mounted=yes
  fi
  remove_orphans
  local name code=0
  name="quarn-i386-$pid_namespace-$$-$(started $$)${mounted:+-mounted}"
  if [ -e "$binfmt/$name" ]; then
    echo "emulator: $binfmt/$name exists already: not taking it over" >&2
    exit 1
  fi
  printf "%s" "$(rule "$name")" > "$binfmt/register"
  registered=$name
  # INT and QUIT as in the foreground, and the same standard input.
  { trap - INT QUIT; exec "$@"; } <&0 &
  child=$!
  wait "$child" || code=$?
  exit "$code"
}

if ! "${interpreter%/*}/qemu-i386" --version >/dev/null 2>&1; then
  [ "${1:-}" = available ] || echo "emulator: no i386 emulator in ${interpreter%/*} (scripts/setup.sh installs it)" >&2
  exit 1
fi
case "${1:?available, run or session}" in
  available)
    private true 2>/dev/null && exit 0
    [ "$(id -u)" = 0 ] && [ -d "$binfmt" ]
    ;;
  run | session)
    [ -z "${QUARN_EMULATOR_NAMESPACE:-}" ] || exec "${@:2}"  # in one of ours already
    if private true 2>/dev/null; then
      private "${@:2}"
      exit
    fi
    [ "$1" = run ] || exec "${@:2}"
    host_wide "${@:2}"
    ;;
esac
