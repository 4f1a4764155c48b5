#!/usr/bin/env bash
# end-to-end.sh WINE_RUN PREFIX SIM MINTORA_EXE PANEL_PROBE_EXE PORT: Mintora.exe under Wine (run
# by WINE_RUN in the Wine prefix PREFIX) against the
# Linux lx5200e-sim on 127.0.0.2. The settings are seeded in the prefix's registry first (device
# 127.0.0.2, this test's ports, coins 0-5 accepted); then the sim's log must show control codes 11
# and 18 and the whole start-up, a coin must show as credit in the panel, a vend must spend it,
# Change Return must pay the rest, and closing the panel must send control code 0.
set -euo pipefail
wine_run=$1
prefix=$2
sim=$3
mintora=$4
probe=$5
comm=$6
control=$((comm + 1))
# shellcheck source=SCRIPTDIR/../../scripts/lib/wine.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/wine.sh"
wine() { "$wine_run" "$prefix" "$@"; }

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  sim_stop
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  echo "---- sim log" >&2
  grep -v TICK "$work/sim.log" | tail -40 >&2 || true
  exit 1
}

# Nothing may start before the store points at loopback.
wine_seed_settings 127.0.0.2 "$comm" "$control" AcceptorControl CoinAccept REG_DWORD 63 \
  Prices Price_01 REG_DWORD 100 || fail "the settings could not be seeded"

# The device ticks every 20 ms: Wine on a busy machine falls ticks behind it, repeats its queries
# and drops the answers to the repeats.
sim_start "$sim" "$work" "$comm" "$control" --tick-ms 20 || fail "lx5200e-sim did not start"

wine "$mintora" >"$work/mintora.log" 2>&1 &
mintora_pid=$!
pids+=("$mintora_pid")

sim_wait_for "ENABLED accept 003F dispense 0000" 60 || fail "the changer was never enabled"
for line in "RX CTRL 3 08 03 0B CONTROL 11 POLL ON" "RX CTRL 3 08 03 12 CONTROL 18 REPORT ON" \
  "RX COMM 1 08 RESET" "RX COMM 1 09 SETUP" "RX COMM 2 0F 00 EXPANSION IDENTIFICATION" \
  "RX COMM 6 0F 01 00 00 00 00 EXPANSION FEATURE ENABLE" "RX COMM 1 0A TUBE STATUS" \
  "RX COMM 5 0C 00 3F 00 00 COIN TYPE"; do
  grep -qxF "$line" "$work/sim.log" || fail "no '$line' on the wire"
done
for code in 11 18; do
  (($(grep -c "^RX CTRL 3 .* CONTROL $code " "$work/sim.log") == 1)) || fail "control code $code sent more than once"
done

sim_type insert 2 # 0.20
sim_type insert 5 # 2.00
wine "$probe" credit 2.20 || fail "the panel does not show the coins' 2.20"
wine "$probe" click 1011 >/dev/null # product 1 at 1.00
wine "$probe" credit 1.20 || fail "the vend did not leave 1.20"
wine "$probe" click 1021 >/dev/null # Change Return
sim_wait_for "RX COMM 3 0F 02 18 EXPANSION PAYOUT" 10 || fail "Change Return paid no 1.20"
wine "$probe" credit 0.00 || fail "the credit is not 0.00 after the payout"
wine "$probe" close >/dev/null
sim_wait_for "RX CTRL 3 08 03 00 CONTROL 0 OFF" 10 || fail "closing the panel sent no control code 0"
status=0
wait "$mintora_pid" || status=$?
((status == 0)) || fail "Mintora.exe ended with $status"
exec 3>&-
echo "end to end under Wine: ok"
