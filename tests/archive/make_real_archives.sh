#!/usr/bin/env bash
# Writes tests/archive/RealArchives.h: archives made by the real RAR archiver
# (RAR 7.01, Debian's non-free `rar`), kept as bytes so that the unit tests need no
# archiver. Run once by hand; the header is committed. Needs rar, g++ and python3.
#
# RAR 7 no longer creates RAR 4 archives but updates one in place and keeps its
# format, so the RAR 4 archive starts as one entry written by the project's own
# writer (tests/fixtures/rar/rar4.cpp) and gets its other entries from the real
# archiver. That writer calls Windows' code-page functions only for a name beyond
# ASCII, so with a stand-in <windows.h> it builds here for an ASCII name.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
writer="$here/../fixtures/rar"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export LC_ALL=C.UTF-8  # names reach the archiver as UTF-8
rar() { command rar "$@" -idq -cfg-; }  # no messages, no settings file

mkdir -p "$work/files/sub" "$work/shim"
cd "$work/files"
printf 'From: a@example.com\r\nSubject: hello\r\n\r\nhello hello hello hello hello hello\r\n' > a.bkl
: > empty.bkl
printf 'Z\xc3\xbcrich mail\r\n' > 'Zürich-日本.bkl'
printf 'in a folder\r\n' > sub/b.bks
printf 'Gr\xc3\xb6\xc3\x9fe\r\n' > 'Größe.bkl'
head -c 6000 /dev/urandom > big.bkl

# RAR 5: a file, an empty file, a name that is not ASCII, a folder with a file in
# it, and a comment (a service block).
printf 'kept logs\n' > ../comment.txt
rar a -r -m5 -z../comment.txt ../rar5.rar a.bkl empty.bkl 'Zürich-日本.bkl' sub
rar a -hpsecret ../headers_encrypted.rar a.bkl
rar a -psecret ../entry_encrypted.rar a.bkl
rar a -m0 -v4k ../volumes.rar big.bkl

# RAR 4: the project's writer makes old.bkl, the real archiver adds the rest.
cat > "$work/shim/windows.h" <<'EOF'
// Only what rar4.cpp needs for ASCII names: the code-page calls are never made.
#pragma once
typedef unsigned UINT;
#define CP_OEMCP 1
#define CP_UTF8 65001
inline int WideCharToMultiByte(UINT, unsigned long, const wchar_t*, int, char*, int, const char*, int*) { return 0; }
inline int MultiByteToWideChar(UINT, unsigned long, const char*, int, wchar_t*, int) { return 0; }
EOF
cat > "$work/shim/make_rar4.cpp" <<'EOF'
#include "rar4.h"
#include <cstdio>
#include <string>
int main(int, char** argv) {
    const std::string data = "old log\r\n";
    rar4::FileEntry entry;
    entry.name = L"old.bkl";
    entry.size = static_cast<uint32_t>(data.size());
    entry.crc = rar4::crc32(data.data(), data.size());
    entry.dosTime = 0x5A210000;  // 2025-01-01 00:00
    entry.attributes = 0x20;
    std::FILE* out = std::fopen(argv[1], "wb");
    auto put = [out](const std::vector<uint8_t>& bytes) { std::fwrite(bytes.data(), 1, bytes.size(), out); };
    std::fwrite(rar4::kMarker, 1, sizeof rar4::kMarker, out);
    put(rar4::mainHeader());
    put(rar4::fileHeader(entry));
    std::fwrite(data.data(), 1, data.size(), out);
    put(rar4::endHeader());
    return std::fclose(out) == 0 ? 0 : 1;
}
EOF
g++ -std=c++17 -I"$work/shim" -I"$writer" "$work/shim/make_rar4.cpp" "$writer/rar4.cpp" -o "$work/make_rar4"
"$work/make_rar4" ../rar4.rar
rar a -m5 -z../comment.txt ../rar4.rar 'Größe.bkl' a.bkl
cp ../rar4.rar ../rar4_entry_encrypted.rar
rar a -psecret ../rar4_entry_encrypted.rar empty.bkl

cd "$work"
python3 - "$here/RealArchives.h" <<'EOF'
import sys
archives = [
    ("kRar5", "rar5.rar", "RAR 5: a.bkl, empty.bkl, Zürich-日本.bkl, sub/b.bks and the folder sub, with a comment"),
    ("kRar5HeadersEncrypted", "headers_encrypted.rar", "RAR 5 with -hp: a.bkl behind encrypted headers"),
    ("kRar5EntryEncrypted", "entry_encrypted.rar", "RAR 5 with -p: a.bkl encrypted, headers plain"),
    ("kRar5FirstVolume", "volumes.part1.rar", "RAR 5 with -v4k: the first of two volumes of big.bkl"),
    ("kRar4", "rar4.rar", "RAR 4: old.bkl (the project's writer), then Größe.bkl and a.bkl and a comment (the real archiver)"),
    ("kRar4EntryEncrypted", "rar4_entry_encrypted.rar", "kRar4 with empty.bkl added with -p"),
]
out = ["// Made by make_real_archives.sh with the real RAR archiver (RAR 7.01). Do not edit.",
       "#pragma once", "", "#include <string_view>", "", "namespace quarn::real_archives {", ""]
for name, path, what in archives:
    data = open(path, "rb").read()
    out.append(f"// {what}")
    out.append(f"inline constexpr std::string_view {name}{{")
    for i in range(0, len(data), 24):
        out.append('    "' + "".join(f"\\x{b:02x}" for b in data[i:i + 24]) + '"')
    out.append(f"    , {len(data)}}};")
    out.append("")
out.append("}  // namespace quarn::real_archives")
open(sys.argv[1], "w").write("\n".join(out) + "\n")
EOF
echo "wrote $here/RealArchives.h"
