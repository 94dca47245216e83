#!/usr/bin/env bash
# Builds the peer libraries (SDL2 and pixman, static, from Debian's source packages) for the architecture the
# benchmark runs on. The shared script builds for i686 only; this machine runs the x86-64 build, so we run a copy of
# it with the host triple replaced. Everything lands outside the repository.
#
#   bash bench/build-peers.sh [HOST]  HOST defaults to x86_64-w64-mingw32
#   PEERS_DIR       scratch folder (default /tmp/kalvex-peers-x64; /tmp/kalvex-peers for i686, as the shared script)
#   KX_PEERS_SCRIPT the shared script (default /work/shared/bench/build-peers.sh)
set -euo pipefail
host=${1:-${HOST:-x86_64-w64-mingw32}}
shared=${KX_PEERS_SCRIPT:-/work/shared/bench/build-peers.sh}
case "$host" in
  i686-*) default_dir=/tmp/kalvex-peers ;;
  x86_64-*) default_dir=/tmp/kalvex-peers-x64 ;;
  *) default_dir=/tmp/kalvex-peers-${host%%-*} ;;
esac
export PEERS_DIR=${PEERS_DIR:-$default_dir}
[ -f "$shared" ] || { echo "build-peers: $shared not found" >&2; exit 1; }
grep -q '^HOST=i686-w64-mingw32$' "$shared" || { echo "build-peers: $shared no longer sets HOST as expected" >&2; exit 1; }
mkdir -p "$PEERS_DIR"
adapted=$PEERS_DIR/build-peers.$host.sh
sed "s/^HOST=i686-w64-mingw32\$/HOST=$host/" "$shared" >"$adapted"
exec bash "$adapted"
