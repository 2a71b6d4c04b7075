#!/usr/bin/env bash
# Configures and builds both trees: build/host (unit tests) and build/win32
# (QuarnLogBackup.exe, the stand-in archiver and the Windows tests).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
jobs="$(nproc)"

cmake -S . -B build/host -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/host -j "$jobs"

cmake -S . -B build/win32 -DCMAKE_BUILD_TYPE=MinSizeRel \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-i686.cmake" >/dev/null
cmake --build build/win32 -j "$jobs"
echo "Built build/win32/QuarnLogBackup.exe"
