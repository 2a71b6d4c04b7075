#!/usr/bin/env bash
# Runs a Windows test program under Wine in the build's own prefix.
set -euo pipefail
: "${QUARN_BUILD_DIR:=$(pwd)}"
source "$(dirname "$0")/wine-env.sh"
exec wine "$@"
