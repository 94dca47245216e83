#!/usr/bin/env bash
# Builds everything and runs the sample host under Wine: bash tools/run.sh [sample host arguments]
set -euo pipefail
source "$(dirname "$0")/build.sh"
source "$kx_root/tools/wine-session.sh"
kx_build_all
kx_session_start "$kx_build"
cd "$kx_run_build/bin"
"$KX_WINE" ./sample_host.exe "$@"
