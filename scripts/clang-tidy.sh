#!/usr/bin/env bash
# Runs clang-tidy with the checks of .clang-tidy over the files of one build tree's
# compile database whose paths (relative to the source root) match a pattern, and
# fails on any finding. A header's findings are shown once, however many files
# include it.
# Usage: scripts/clang-tidy.sh BUILD_DIR PATH_REGEX [CLANG_TIDY_ARG...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build=$1 pattern=$2
shift 2

command -v clang-tidy >/dev/null || { echo "clang-tidy is missing: run scripts/setup.sh"; exit 1; }

files=()
while IFS= read -r file; do
  [[ $file == "$root/"* && ${file#"$root/"} =~ $pattern ]] && files+=("$file")
done < <(sed -n 's/^  "file": "\(.*\)",\{0,1\}$/\1/p' "$build/compile_commands.json" | sort -u)
[ ${#files[@]} -gt 0 ] || { echo "no file in $build/compile_commands.json matches $pattern"; exit 1; }

# Findings in our own headers count too; the root is a regular expression there.
header_filter="^$(sed 's/[][\.*^$()+?{}|]/\\&/g' <<<"$root")/src/"
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
# Each file to a log of its own: parallel runs must not mix their lines.
status=0
printf '%s\0' "${files[@]}" | xargs -0 -P "$(nproc)" -I{} bash -c \
  'f=$1; shift; clang-tidy -p "$0" --quiet --warnings-as-errors="*" "$@" "$f" >"'"$logs"'/${f//\//_}.log" 2>&1' \
  "$build" {} --header-filter="$header_filter" "$@" || status=$?

# One block per finding, with its notes; the compiler's warning counts are noise here.
awk '
  FNR == 1 { show = 1 }
  /^[0-9]+ (warning|error)s? (and [0-9]+ (warning|error)s? )?generated\.$/ { next }
  /^(Error while processing|Found compiler error)/ { print; next }
  /^[^ ]+:[0-9]+:[0-9]+: (warning|error): / { show = !seen[$0]++ }
  show' "$logs"/*.log
echo "clang-tidy: ${#files[@]} files checked, $( [ $status = 0 ] && echo 'no findings' || echo 'findings above')"
exit $(( status != 0 ))
