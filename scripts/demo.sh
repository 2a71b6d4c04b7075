#!/usr/bin/env bash
# The main job, shown end to end: a sample mail data folder and the mail client's
# registry values in a throwaway Wine prefix, QuarnLogBackup.exe with the stand-in
# archiver, two backup runs, and the archive as an independent reader (bsdtar) sees it.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

# Under a locale that exists: the caller's may be made only by setup.sh itself.
LC_ALL=C.UTF-8 QUARN_CALLER_LOCALE="${LC_ALL:-${LANG:-}}" bash scripts/setup.sh >/dev/null
bash scripts/build.sh >/dev/null

export QUARN_BUILD_DIR="$root/build/demo"
rm -rf "$QUARN_BUILD_DIR"
mkdir -p "$QUARN_BUILD_DIR"
source tests/wine/wine-env.sh
tests/wine/session.sh start >/dev/null
trap 'tests/wine/session.sh stop >/dev/null' EXIT
source tests/wine/wine-env.sh  # picks up the session's display

c="$WINEPREFIX/drive_c"
data="$c/BeckyData"
program="$c/Tools/QuarnLogBackup"
archive="$c/Backups/QuarnMail/QuarnLogsZip.rar"

sample_log() {  # path, then lines of a backup log
  mkdir -p "$(dirname "$1")"
  local file=$1; shift
  printf '%s\r\n' "$@" > "$file"
}
sample_log "$data/4f1a2b3c.mb/!!!Inbox/backup.bkl" "From: ann@example.com" "Subject: Meeting" "" "See you at ten."
sample_log "$data/4f1a2b3c.mb/!!!Inbox/sent.bks" "To: bob@example.com" "Subject: Re: Meeting" "" "Fine."
sample_log "$data/4f1a2b3c.mb/Projects.2026/backup.bkl" "From: carol@example.com" "Subject: Budget"
sample_log "$data/5e6d7c8b.mb/!!!Inbox/backup.bkl" "From: eve@example.com" "Subject: Lunch"
sample_log "$data/5e6d7c8b.mb/Family/backup.bkl" "From: dad@example.com" "Subject: Sunday"
sample_log "$data/5e6d7c8b.mb/Family/sent.bks" "To: dad@example.com" "Subject: Re: Sunday"
sample_log "$data/5e6d7c8b.mb/Family/notes.txt" "not a log: stays out of the archive"

reg='HKCU\Software\RimArts\Quarn\Settings'
wine reg add "$reg" /v DataDir /t REG_SZ /d 'C:\BeckyData\' /f >/dev/null
wine reg add "$reg" /v RecvBackLog /t REG_DWORD /d 1 /f >/dev/null
wine reg add "$reg" /v SentBackLog /t REG_DWORD /d 1 /f >/dev/null

mkdir -p "$program" "$c/Tools/RAR"
wine_tree="$(tests/wine/wine-tree.sh)"  # build/win32, or build/win64 where 32-bit code cannot run
cp "$wine_tree/QuarnLogBackup.exe" "$program/"
cp "$wine_tree/tests/fixtures/rar/rar.exe" "$c/Tools/RAR/"  # the stand-in, found through PATH
export WINEPATH='C:\Tools\RAR'

# Every log must be in the archive under the name its names list gives it, with its bytes.
check_archive() {
  local logs=0 name path unix
  # Each line: the name, a tab, the log's path, then its record; lines that begin with ":"
  # are the list's own, and "kept:" marks an earlier version of a log.
  while IFS=$'\t' read -r name path record; do
    path=${path%$'\r'}
    [ "${name#:}" = "$name" ] && [ -n "$path" ] && [ "${record#kept:}" = "$record" ] || continue
    unix="$c/$(printf '%s' "${path#C:\\}" | tr '\\' /)"
    [ -f "$unix" ] || continue  # a log that has gone keeps its name and its last backup
    bsdtar -xOf "$archive" "$name" | cmp -s - "$unix" || { echo "MISMATCH: $path as $name"; exit 1; }
    logs=$((logs + 1))
  done < <(sed '1s/^\xEF\xBB\xBF//' "$archive.names")
  [ "$logs" -eq "$(find "$data" -type f \( -name '*.bkl' -o -name '*.bks' \) | wc -l)" ] ||
    { echo "not every log has a name"; exit 1; }
  [ "$(bsdtar -tf "$archive" | wc -l)" -eq "$logs" ] || { echo "archive holds other entries"; exit 1; }
  echo "checked: all $logs logs are in the archive, byte for byte, and nothing else"
}

backup() {
  local code=0
  (cd "$c" && wine 'C:\Tools\QuarnLogBackup\QuarnLogBackup.exe') || code=$?
  echo "exit code: $code (0: the job was done)"
  echo "archive C:\\Backups\\QuarnMail\\QuarnLogsZip.rar as bsdtar reads it:"
  bsdtar -tvf "$archive" | sed 's/^/  /'
  check_archive
}

echo "== Sample mail data folder C:\\BeckyData"
(cd "$data" && find . -type f | sort | sed 's/^\.\//  /')
echo
echo "== First run"
backup
echo "settings file it wrote beside itself (C:\\Tools\\QuarnLogBackup\\QuarnBackup.ini):"
iconv -f UTF-16 -t UTF-8 "$program/QuarnBackup.ini" | sed 's/^/  /; s/\r$//'  # written as UTF-16, so that Notepad keeps it Unicode
echo "program folder afterwards: $(ls "$program" | tr '\n' ' ')"
echo "archive names it keeps beside the archive (QuarnLogsZip.rar.names: which mail folder each entry came from):"
sed '1s/^\xEF\xBB\xBF//; s/\r$//; s/^/  /' "$archive.names"
echo
echo "== Second run, after new mail arrived"
printf 'From: erin@example.com\r\nSubject: New\r\n' >> "$data/4f1a2b3c.mb/!!!Inbox/backup.bkl"
sample_log "$data/5e6d7c8b.mb/Travel.plans/backup.bkl" "From: agency@example.com" "Subject: Tickets"
backup
echo "run log (QuarnBackup.log):"
sed '1s/^\xEF\xBB\xBF//; s/\r$//; s/^/  /' "$program/QuarnBackup.log"
