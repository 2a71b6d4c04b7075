#!/usr/bin/env bash
# Installs what is missing, builds both trees and runs every test through CTest:
# the unit tests natively, then the platform and end-to-end tests under Wine.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

bash scripts/setup.sh
bash scripts/build.sh

# One CTest run over both trees, so that one summary line counts every test.
printf 'subdirs("host" "win32")\n' > build/CTestTestfile.cmake
ctest --test-dir build --output-on-failure --timeout 900
