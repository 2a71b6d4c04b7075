#!/usr/bin/env bash
# Configures and builds the trees: build/host (unit tests), build/win64 (the
# program for 64-bit Windows) and build/win32 (the program as shipped: 32-bit; its
# release zip holds both). Which tree's tests Wine runs: on a host that runs
# 32-bit code, all in build/win32; on one that runs 64-bit code only,
# build/win64's natively and build/win32's under the i386 emulator
# (tests/wine/emulator.sh), the end-to-end suites among them, against the shipped
# program; there they run in build/win64 only where no emulator can be had.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
jobs="$(nproc)"

cmake -S . -B build/host -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/host -j "$jobs"

windows_tree() {  # folder, toolchain, its Wine tests, the end-to-end suites among them, under the emulator
  cmake -S . -B "$1" -DCMAKE_BUILD_TYPE=MinSizeRel -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$2" \
    -DQUARN_WINE_TESTS="$3" -DQUARN_E2E_TESTS="$4" -DQUARN_WINE_EMULATED="$5" \
    -DQUARN_64BIT_PROGRAM="$root/build/win64/QuarnLogBackup.exe" >/dev/null
  cmake --build "$1" -j "$jobs"
}
if [ "$(tests/wine/wine-tree.sh)" = build/win32 ]; then
  windows_tree build/win64 toolchain-mingw-x86_64.cmake OFF OFF OFF
  windows_tree build/win32 toolchain-mingw-i686.cmake ON ON OFF
  echo "Built build/win32/QuarnLogBackup.exe and build/win64's; Wine tests in build/win32"
elif tests/wine/emulator.sh available; then
  windows_tree build/win64 toolchain-mingw-x86_64.cmake ON OFF OFF
  windows_tree build/win32 toolchain-mingw-i686.cmake ON ON ON
  echo "Built build/win32/QuarnLogBackup.exe and build/win64's; Wine tests in build/win64, and in build/win32 under the i386 emulator"
else
  windows_tree build/win64 toolchain-mingw-x86_64.cmake ON ON OFF
  windows_tree build/win32 toolchain-mingw-i686.cmake OFF OFF OFF
  echo "Built build/win32/QuarnLogBackup.exe and build/win64's; Wine tests in build/win64 (no i386 emulator here: the 32-bit program is checked only as a file)"
fi
