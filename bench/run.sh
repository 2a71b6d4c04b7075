#!/usr/bin/env bash
# The benchmark in one command: installs and builds what it needs, runs bench.py in
# a Wine session of its own (build/bench, whose throwaway prefix also keeps the
# generated mail data folders for the next run) and ends the session again.
# Arguments go to bench.py: --sizes 300,2000 --reps 1 for a shorter run.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

# Under a locale that exists: the caller's may be made only by setup.sh itself.
LC_ALL=C.UTF-8 QUARN_CALLER_LOCALE="${LC_ALL:-${LANG:-}}" bash scripts/setup.sh >/dev/null
bash scripts/build.sh >/dev/null

export QUARN_BUILD_DIR="$root/build/bench"
wine_tree="$(tests/wine/wine-tree.sh)"
export QUARN_EXE="$root/$wine_tree/QuarnLogBackup.exe"
export QUARN_RAR="$root/$wine_tree/tests/fixtures/rar/rar.exe"
export QUARN_REALRAR="$root/$wine_tree/tests/fixtures/realrar/rar.exe"
export QUARN_READBACK="$root/$wine_tree/tests/readback.exe"
mkdir -p "$QUARN_BUILD_DIR"
tests/wine/session.sh start >/dev/null
trap 'tests/wine/session.sh stop >/dev/null' EXIT
python3 bench/bench.py "$@"
