#!/usr/bin/env bash
# Installs what is missing, builds the trees and runs every test through CTest: the
# unit tests natively and again under the sanitizers, clang-tidy, then the platform
# and end-to-end tests under Wine (the 32-bit program's under the i386 emulator
# where the host runs 64-bit code only).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

# Under a locale that exists: the caller's may be made only by setup.sh itself.
LC_ALL=C.UTF-8 QUARN_CALLER_LOCALE="${LC_ALL:-${LANG:-}}" bash scripts/setup.sh
bash scripts/build.sh
# The unit tests once more, built by clang with AddressSanitizer and UBSan (here, not
# in build.sh: the demo has no use for them). -fno-sanitize-recover: undefined
# behaviour fails the tests like a memory error does.
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer" \
  >/dev/null
cmake --build build/asan -j "$(nproc)" --target unit_tests

# One CTest run over every tree, so that one summary line counts every test. The
# sanitizer build's unit tests run as one test, since their names repeat the host's.
wine_tree="$(tests/wine/wine-tree.sh)"
windows_trees='"win32"'
[ "$wine_tree" = build/win32 ] || windows_trees='"win32" "win64"'
cat > build/CTestTestfile.cmake <<EOF
add_test(unit_tests_sanitized "$root/build/asan/tests/unit_tests")
subdirs("host" $windows_trees)
EOF
# On a host that runs 64-bit code only (scripts/build.sh decided), build/win32's
# tests that start 32-bit code run under the i386 emulator (tests/CMakeLists.txt):
# in one private namespace for the whole run where the kernel allows one, else
# each with the emulator registered host-wide while it runs.
session=()
grep -qx 'QUARN_WINE_EMULATED:BOOL=ON' build/win32/CMakeCache.txt && session=(tests/wine/emulator.sh session)
"${session[@]}" ctest --test-dir build --output-on-failure --timeout 900
