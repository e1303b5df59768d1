# Shell functions shared by the scripts that run programs under Wine. Sourced, not run.

export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=${WINEDEBUG:-fixme-all}

# Runs a command with its output in a log rather than on an inherited pipe: Wine's helper
# processes would otherwise hold the caller's pipe open long after the command ends.
horax_quiet() {
  "$@" </dev/null >>"${HORAX_QUIET_LOG:-/dev/null}" 2>&1
}

# horax_start_xvfb DIR: a private 1024 x 768 display; its number goes to DIR/display.
horax_start_xvfb() {
  local dir=$1
  if [ -f "$dir/xvfb.pid" ] && kill -0 "$(cat "$dir/xvfb.pid")" 2>/dev/null; then
    return 0
  fi
  rm -f "$dir/display"
  setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -wr \
    3>"$dir/display" </dev/null >"$dir/xvfb.log" 2>&1 &
  echo $! >"$dir/xvfb.pid"
  local i
  for i in $(seq 1 100); do
    [ -s "$dir/display" ] && return 0
    sleep 0.1
  done
  echo "Xvfb did not start; see $dir/xvfb.log" >&2
  return 1
}

# horax_stop_xvfb DIR
horax_stop_xvfb() {
  local dir=$1
  if [ -f "$dir/xvfb.pid" ]; then
    kill "$(cat "$dir/xvfb.pid")" 2>/dev/null || true
    rm -f "$dir/xvfb.pid" "$dir/display"
  fi
}

# horax_use_loader LOADER: Debian's wine script picks the 32-bit loader itself; the 64-bit
# loader, run directly, must also be named to the processes it starts.
horax_use_loader() {
  case $1 in
    */wine64) export WINELOADER=$1 ;;
    *) unset WINELOADER ;;
  esac
}

# horax_map_ports PREFIX LOADER PORTDIR: maps COM1..COM4 to PORTDIR/com1..com4, paths
# that a test later makes into links to pseudo-terminals. Wine reads the mapping when its
# server starts, so it must be in place before then.
horax_map_ports() {
  local prefix=$1 loader=$2 ports=$3 n
  mkdir -p "$ports"
  for n in 1 2 3 4; do
    WINEPREFIX=$prefix horax_quiet "$loader" reg add 'HKLM\Software\Wine\Ports' \
      /v "COM$n" /t REG_SZ /d "$ports/com$n" /f
  done
}

# horax_make_prefix PREFIX WINEARCH LOADER [PORTDIR]: a new prefix without Mono or Gecko
# prompts, with unmanaged windows (exact placement, quick teardown without a window
# manager), and its COM ports mapped into PORTDIR.
horax_make_prefix() {
  local prefix=$1 arch=$2 loader=$3 ports=${4:-}
  rm -rf "$prefix"
  mkdir -p "$(dirname "$prefix")"
  horax_use_loader "$loader"
  WINEPREFIX=$prefix WINEARCH=$arch horax_quiet "$loader" wineboot -i
  WINEPREFIX=$prefix horax_quiet "$loader" reg add \
    'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f
  if [ -n "$ports" ]; then
    horax_map_ports "$prefix" "$loader" "$ports"
  fi
  WINEPREFIX=$prefix horax_quiet wineserver -w
  touch "$prefix/.horax-ready"
}
