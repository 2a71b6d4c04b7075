#!/usr/bin/env bash
# Configures and builds the trees: build/host (unit tests), build/win32
# (QuarnLogBackup.exe as shipped: 32-bit) and the Windows tests in the tree Wine
# can run here (tests/wine/wine-tree.sh): build/win32 itself, or build/win64 on a
# host that runs 64-bit code only.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
jobs="$(nproc)"

cmake -S . -B build/host -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/host -j "$jobs"

wine_tree="$(tests/wine/wine-tree.sh)"
windows_tree() {  # folder, toolchain, whether its Wine tests are built
  cmake -S . -B "$1" -DCMAKE_BUILD_TYPE=MinSizeRel \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$2" -DQUARN_WINE_TESTS="$3" >/dev/null
  cmake --build "$1" -j "$jobs"
}
if [ "$wine_tree" = build/win32 ]; then
  windows_tree build/win32 toolchain-mingw-i686.cmake ON
else
  windows_tree build/win32 toolchain-mingw-i686.cmake OFF
  windows_tree build/win64 toolchain-mingw-x86_64.cmake ON
fi
echo "Built build/win32/QuarnLogBackup.exe; Wine tests in $wine_tree"
