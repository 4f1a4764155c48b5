# shellcheck shell=bash
# Sourced by the scripts that run the Windows build under Wine (scripts/test-windows,
# scripts/bench-windows, tests/wine/end-to-end.sh, tests/wine/installer-test.sh): a private X
# display, one wineserver kept up for a whole run, Mintora's settings seeded in the prefix's
# registry, and the Linux lx5200e-sim as the device. The caller makes the command `wine` run a
# program in its own prefix (inside the build folder, never ~/.wine): a function around
# cmake/wine-run PREFIX, or the real wine with WINEPREFIX exported. Everything started here is
# ended by its PID (or by its prefix's own wineserver), never by name.

wine_xvfb_pid=
wine_server_pid=
sim_pid=

# wine_start_display FOLDER: a private Xvfb on a display number it picks itself (-displayfd),
# its log in FOLDER/xvfb.log; exports DISPLAY.
wine_start_display() {
  local display_file=$1/xvfb-display
  rm -f "$display_file"
  Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$display_file" 2>"$1/xvfb.log" &
  wine_xvfb_pid=$!
  for _ in {1..100}; do
    [[ -s $display_file ]] && break
    kill -0 "$wine_xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [[ ! -s $display_file ]]; then
    echo "Xvfb did not start:" >&2
    cat "$1/xvfb.log" >&2
    return 1
  fi
  DISPLAY=:$(<"$display_file")
  export DISPLAY
}

wine_stop_display() {
  [[ -n $wine_xvfb_pid ]] || return 0
  kill -TERM "$wine_xvfb_pid" 2>/dev/null || true
  wait "$wine_xvfb_pid" 2>/dev/null || true
  wine_xvfb_pid=
}

# wine_start_server PREFIX: the prefix's wineserver, kept up until wine_stop_server, so that each
# program finds Wine's services running instead of starting them again (and a service that a
# program started does not hold that program's output open after it ends). Then one program
# starts those services.
wine_start_server() {
  WINEPREFIX=$1 WINEDEBUG=-all wineserver --foreground --persistent >/dev/null 2>&1 &
  wine_server_pid=$!
  # It is ready when its socket is in its folder (its working directory).
  for _ in {1..100}; do
    [[ -S /proc/$wine_server_pid/cwd/socket ]] && break
    kill -0 "$wine_server_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [[ ! -S /proc/$wine_server_pid/cwd/socket ]]; then
    echo "the wineserver of $1 did not start (is one of an earlier run still up?)" >&2
    wine_server_pid=
    return 1
  fi
  wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || { echo "Wine does not start cmd.exe" >&2; return 1; }
}

# wine_stop_server PREFIX: the wineserver ends every Windows process of the prefix (Wine's
# services too), then itself.
wine_stop_server() {
  [[ -n $wine_server_pid ]] || return 0
  WINEPREFIX=$1 wineserver --kill 2>/dev/null || kill -TERM "$wine_server_pid" 2>/dev/null || true
  wait "$wine_server_pid" 2>/dev/null || true
  wine_server_pid=
}

# wine_seed_settings ADDRESS COMM CONTROL [SECTION NAME TYPE DATA]...: Mintora's settings in the
# prefix's registry, the device at ADDRESS (127.0.0.x) on ports COMM and CONTROL, connect at start,
# then any further values. Fails unless the registry then holds ADDRESS: nothing may start before.
wine_seed_settings() {
  local key='HKCU\Software\Tessaline\Mintora' address=$1
  [[ $address =~ ^127\.[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "not a loopback address: $address" >&2; return 1; }
  wine reg add "$key\\Connection" /v IPAddress /t REG_SZ /d "$address" /f >/dev/null 2>&1
  wine reg add "$key\\Connection" /v PortCommunication /t REG_DWORD /d "$2" /f >/dev/null 2>&1
  wine reg add "$key\\Connection" /v PortControl /t REG_DWORD /d "$3" /f >/dev/null 2>&1
  wine reg add "$key\\Connection" /v AutoConnect /t REG_DWORD /d 1 /f >/dev/null 2>&1
  shift 3
  while (($# >= 4)); do
    wine reg add "$key\\$1" /v "$2" /t "$3" /d "$4" /f >/dev/null 2>&1
    shift 4
  done
  wine reg query "$key\\Connection" /v IPAddress 2>/dev/null | tr -d '\r' |
    grep -Eq "IPAddress +REG_SZ +${address//./\\.}\$" ||
    { echo "the registry does not hold the device address $address" >&2; return 1; }
}

# sim_start SIM FOLDER COMM CONTROL [OPTION]...: the Linux lx5200e-sim, headless on 127.0.0.2,
# its log in FOLDER/sim.log; its commands go to file descriptor 3 (sim_type), and it runs while
# that stays open (exec 3>&- ends it). Waits for READY.
sim_start() {
  local sim=$1 folder=$2 comm=$3 control=$4
  shift 4
  sim_log=$folder/sim.log
  mkfifo "$folder/sim-in"
  "$sim" --headless --address 127.0.0.2 --comm-port "$comm" --control-port "$control" "$@" \
    <"$folder/sim-in" >"$sim_log" 2>&1 &
  sim_pid=$!
  exec 3>"$folder/sim-in"
  for _ in {1..100}; do
    grep -q '^READY' "$sim_log" && return 0
    sleep 0.1
  done
  echo "lx5200e-sim did not start" >&2
  return 1
}

sim_type() { echo "$*" >&3; }

# sim_wait_for LINE SECONDS: the sim logged exactly LINE within SECONDS.
sim_wait_for() {
  local i
  for ((i = 0; i < $2 * 10; ++i)); do
    grep -qxF "$1" "$sim_log" && return 0
    sleep 0.1
  done
  return 1
}

sim_stop() {
  [[ -n $sim_pid ]] || return 0
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
  sim_pid=
}
