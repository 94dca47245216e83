# Sourced by run.sh and test.sh: installs what is missing, then configures (once) and builds the tree.
#
# The deliverables are 32-bit PE binaries, always built into $kx_build. They run under 32-bit Wine only where the
# kernel runs 32-bit code; some virtual machines cannot (their kernels refuse 32-bit code segments, so neither
# wine32 nor Wine's WoW64 mode can start a 32-bit program). There the same sources are also built as 64-bit Windows
# programs into $kx_build/x64, and the programs that must run (tests, sample host) run from there under wine64.
kx_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
kx_build=${KX_BUILD_DIR:-$kx_root/build}

# 0 when this machine can execute 32-bit x86 code (the 32-bit Wine loader starts).
kx_can_run_32bit() {
  /usr/lib/wine/wine --version >/dev/null 2>&1
}

kx_configure_and_build() {
  local dir=$1 toolchain=$2
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S "$kx_root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$kx_root/cmake/$toolchain" \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKX_WINE_DIR="$kx_build/wine" ${KX_CMAKE_ARGS:-} >/dev/null
  fi
  cmake --build "$dir" -j "$(nproc)"
}

kx_build_all() {
  bash "$kx_root/tools/setup-machine.sh"
  kx_configure_and_build "$kx_build" mingw-i686.cmake
  if kx_can_run_32bit; then
    kx_run_build=$kx_build
    export KX_WINE=/usr/lib/wine/wine KX_WINEARCH=win32
  else
    echo "build: this machine cannot run 32-bit code; tests and the sample host run as 64-bit builds" >&2
    KX_CMAKE_ARGS="${KX_CMAKE_ARGS:-} -DKX_DELIVERABLE_DLL=$kx_build/bin/Kalvex2.dll" \
      kx_configure_and_build "$kx_build/x64" mingw-x86_64.cmake
    kx_run_build=$kx_build/x64
    export KX_WINE=/usr/lib/wine/wine64 KX_WINEARCH=win64
  fi
}
