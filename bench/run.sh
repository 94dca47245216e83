#!/usr/bin/env bash
# Runs the benchmarks under Wine and prints their tables: bash bench/run.sh [rounds]
# (the copy kernels against memcpy, SDL2 and pixman; then the ink effects and conversions against memcpy)
#
# Builds the peer libraries first when they are missing (bench/build-peers.sh, into a scratch folder outside the
# tree; without network or source packages the benchmark runs without them), then the benchmark alone, for the
# architecture this machine can run (the 64-bit build where 32-bit code cannot run). Figures on a shared machine
# move from run to run: compare the ratios within one run, not milliseconds across runs.
set -euo pipefail
source "$(dirname "$0")/../tools/build.sh"
source "$kx_root/tools/wine-session.sh"
bash "$kx_root/tools/setup-machine.sh"

if kx_can_run_32bit; then
  host=i686-w64-mingw32 dir=$kx_build toolchain=mingw-i686.cmake extra=()
  peers=${PEERS_DIR:-/tmp/kalvex-peers}
  export KX_WINE=/usr/lib/wine/wine KX_WINEARCH=win32
else
  host=x86_64-w64-mingw32 dir=$kx_build/x64 toolchain=mingw-x86_64.cmake
  extra=(-DKX_DELIVERABLE_DLL="$kx_build/bin/Kalvex2.dll")
  peers=${PEERS_DIR:-/tmp/kalvex-peers-x64}
  export KX_WINE=/usr/lib/wine/wine64 KX_WINEARCH=win64
fi

if [ ! -f "$peers/prefix/lib/libSDL2.a" ] || [ ! -f "$peers/prefix/lib/libpixman-1.a" ]; then
  PEERS_DIR=$peers bash "$kx_root/bench/build-peers.sh" "$host" >&2 ||
    echo "bench: the peers did not build; the table will show ours and memcpy only" >&2
fi

# The same configuration tools/build.sh makes (it may run later on this tree), plus where the peers are.
cmake -S "$kx_root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$kx_root/cmake/$toolchain" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKX_WINE_DIR="$kx_build/wine" "${extra[@]}" -DKX_BENCH_PEERS_DIR="$peers/prefix" >/dev/null
cmake --build "$dir" --target kernels_bench ink_bench -j "$(nproc)" >&2

kx_session_start "$kx_build"
cd "$dir/bin"
"$KX_WINE" ./kernels_bench.exe "$@"
echo
"$KX_WINE" ./ink_bench.exe
