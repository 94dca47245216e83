#!/usr/bin/env bash
# Installs what the build and the Wine test runs need on a Debian 12 machine, and nothing when it is all there.
# Runs as root (or through sudo when it is available). Safe to call on every build: the fast path is a dpkg query.
set -euo pipefail

packages=(
  wine wine32:i386 wine64 xvfb xauth fonts-wine
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
  cmake python3 googletest openssl
  # Bitmap fixtures of the surface tests are written by ImageMagick at build time.
  imagemagick
  # Header-only PNG reader and writer for the sample image plug-in.
  libstb-dev
  # Wine offers only one display mode and no OpenGL DirectDraw renderer without these.
  libgl1:i386 libgl1-mesa-dri:i386 libglx-mesa0:i386 libxrandr2:i386 libxrender1:i386 libxi6:i386
  libxcursor1:i386 libxinerama1:i386 libxcomposite1:i386 libxfixes3:i386 libxxf86vm1:i386
  # DirectSound opens only with an ALSA device; the plugins give the run its own null/file devices.
  libasound2-plugins:i386
  # Fenwright: mbed TLS comes as Debian's source package (apt-get source); clang and native zlib fuzz the parsers.
  dpkg-dev clang zlib1g-dev
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; elif command -v sudo >/dev/null; then sudo "$@"; else
    echo "setup-machine: need root to run: $*" >&2; exit 1; fi
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup-machine: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  as_root dpkg --add-architecture i386
fi
# Source packages (mbed TLS, peer blitters for benchmarks) need deb-src next to deb.
src=/etc/apt/sources.list.d/debian.sources
if [ -f "$src" ] && grep -q '^Types: deb$' "$src"; then
  as_root sed -i 's/^Types: deb$/Types: deb deb-src/' "$src"
fi
as_root apt-get update -qq
as_root apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "setup-machine: done"
