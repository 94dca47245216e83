#!/usr/bin/env bash
# Runs a Windows program on one of the run's screens: wine-as.sh WINE_DIR SCREEN PROGRAM [ARGS...]
# SCREEN is main, depth16 or depth8; tools/wine-session.sh wrote their settings into WINE_DIR.
set -euo pipefail
env_file="$1/$2.env"; shift 2
if [ ! -f "$env_file" ]; then
  echo "wine-as: no screen settings in $env_file; run the tests through tools/test.sh" >&2
  exit 1
fi
while IFS='=' read -r key value; do export "$key=$value"; done <"$env_file"
exec "${KX_WINE:-wine}" "$@"
