#!/usr/bin/env bash
# Builds everything and runs every test under Wine: bash tools/test.sh [ctest arguments]
set -euo pipefail
source "$(dirname "$0")/build.sh"
source "$kx_root/tools/wine-session.sh"
kx_build_all
kx_session_start "$kx_build"
cd "$kx_run_build"
ctest --output-on-failure -j "$(nproc)" "$@"
