# Sourced by run.sh and test.sh: gives the run its own X screens, Wine prefixes, wineservers and ALSA set-up, all
# inside the build tree, and stops at exit only what it started.
#
#   kx_session_start BUILD_DIR   prepares everything and exports DISPLAY, WINEPREFIX, HOME and the WINE* variables
#
# Besides the main screen (depth 24, or the caller's DISPLAY), two extra Xvfb screens of depth 16 and 8 let the
# display probe be tested on a high-colour and on a palette display. Each screen has a prefix of its own, because a
# wineserver keeps its desktop on one X display. tools/wine-as.sh runs a program on one of them.

kx_started_pids=()
kx_started_servers=()

kx_log() { echo "wine-session: $*" >&2; }

kx_free_display() {
  local n=$1
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  echo "$n"
}

# kx_start_xvfb DEPTH -> prints the display name; the server is stopped at exit.
kx_start_xvfb() {
  local depth=$1 n pid
  n=$(kx_free_display $((90 + depth)))
  Xvfb ":$n" -screen 0 "1024x768x$depth" -nolisten tcp -nolisten unix >/dev/null 2>&1 &
  pid=$!
  # -nolisten unix still creates the abstract socket on Linux; wait until the server answers.
  Xvfb_ready=0
  for _ in $(seq 1 100); do
    if [ -e "/tmp/.X$n-lock" ]; then Xvfb_ready=1; break; fi
    sleep 0.05
  done
  kill -0 "$pid" 2>/dev/null || { kx_log "Xvfb :$n (depth $depth) did not start"; return 1; }
  kx_started_pids+=("$pid")
  sleep 0.2
  echo ":$n"
}

kx_write_registry() {
  cat >"$1" <<'EOF'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\AeDebug]
"Debugger"=""
"Auto"="0"

[HKEY_CURRENT_USER\Software\Wine\Drivers]
"Audio"="alsa"
EOF
}

# kx_prepare_prefix PREFIX DISPLAY: creates the prefix once (the stamp records that the registry settings took).
kx_prepare_prefix() {
  local prefix=$1 display=$2
  if [ -f "$prefix/.kx-ready" ]; then return 0; fi
  rm -rf "$prefix"
  mkdir -p "$prefix"
  kx_log "creating Wine prefix $prefix"
  local reg="$prefix/../$(basename "$prefix").reg"
  kx_write_registry "$reg"
  DISPLAY=$display WINEPREFIX=$prefix "$KX_WINE" wineboot -i >/dev/null 2>&1 || true
  DISPLAY=$display WINEPREFIX=$prefix "$KX_WINE" regedit /S "$(winepath_w "$prefix" "$reg")" >/dev/null 2>&1
  DISPLAY=$display WINEPREFIX=$prefix wineserver -w
  grep -q '"ShowCrashDialog"=dword:00000000' "$prefix/user.reg" || { kx_log "registry settings missing in $prefix"; return 1; }
  touch "$prefix/.kx-ready"
}

# Wine maps / to drive Z: in every prefix, so a Linux path is also a Windows path.
winepath_w() { echo "Z:${2//\//\\}"; }

# kx_start_server PREFIX DISPLAY: one persistent wineserver per prefix for the whole run. A first program starts
# the prefix's system processes (desktop, services, device drivers) with no terminal or pipe of ours: started by a
# test instead, they would keep its output pipe open after it ends, and ctest would wait for them until the timeout.
kx_start_server() {
  # A server left running by an interrupted run is reused (and stopped at exit like ours).
  DISPLAY=$2 WINEPREFIX=$1 wineserver -p </dev/null >/dev/null 2>&1 || true
  kx_started_servers+=("$1")
  DISPLAY=$2 WINEPREFIX=$1 "$KX_WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
}

kx_session_stop() {
  local p
  for p in "${kx_started_servers[@]}"; do WINEPREFIX=$p wineserver -k >/dev/null 2>&1 || true; done
  for p in "${kx_started_pids[@]}"; do kill "$p" 2>/dev/null || true; done
  kx_started_servers=()
  kx_started_pids=()
}

kx_session_start() {
  local build=$1 wine_dir
  wine_dir=$(cd "$build" && pwd)/wine
  mkdir -p "$wine_dir/home"
  trap kx_session_stop EXIT

  export WINEARCH=${KX_WINEARCH:-win32} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  KX_WINE=${KX_WINE:-/usr/lib/wine/wine}
  # Wine and ALSA read $HOME: the run's own keeps the user's files and sound settings out of it.
  export HOME=$wine_dir/home
  # DirectSound needs an ALSA device; the null device opens everywhere and plays nothing.
  cat >"$HOME/.asoundrc" <<'EOF'
pcm.!default { type null }
ctl.!default { type hw card 0 }
EOF

  if [ -z "${DISPLAY:-}" ]; then
    DISPLAY=$(kx_start_xvfb 24) || return 1
  fi
  export DISPLAY
  local d16 d8
  d16=$(kx_start_xvfb 16) || return 1
  d8=$(kx_start_xvfb 8) || return 1

  # A prefix is made for one architecture.
  wine_dir=$wine_dir/$WINEARCH
  mkdir -p "$wine_dir"
  export WINEPREFIX=$wine_dir/prefix
  kx_prepare_prefix "$WINEPREFIX" "$DISPLAY"
  kx_prepare_prefix "$wine_dir/prefix16" "$d16"
  kx_prepare_prefix "$wine_dir/prefix8" "$d8"
  kx_start_server "$WINEPREFIX" "$DISPLAY"
  kx_start_server "$wine_dir/prefix16" "$d16"
  kx_start_server "$wine_dir/prefix8" "$d8"

  # tools/wine-as.sh reads these to run a program on one of the screens.
  local screens=$(dirname "$wine_dir")
  printf 'DISPLAY=%s\nWINEPREFIX=%s\nKX_WINE=%s\n' "$DISPLAY" "$WINEPREFIX" "$KX_WINE" >"$screens/main.env"
  printf 'DISPLAY=%s\nWINEPREFIX=%s\nKX_WINE=%s\n' "$d16" "$wine_dir/prefix16" "$KX_WINE" >"$screens/depth16.env"
  printf 'DISPLAY=%s\nWINEPREFIX=%s\nKX_WINE=%s\n' "$d8" "$wine_dir/prefix8" "$KX_WINE" >"$screens/depth8.env"
}
