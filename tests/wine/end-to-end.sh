#!/usr/bin/env bash
# end-to-end.sh WINE_RUN PREFIX SIM MINTORA_EXE PANEL_PROBE_EXE PORT: Mintora.exe under Wine (run
# by WINE_RUN in the Wine prefix PREFIX) against the
# Linux lx5200e-sim on 127.0.0.2. The settings are seeded in the prefix's registry first (device
# 127.0.0.2, this test's ports, coins 0-5 accepted); then the sim's log must show control codes 11
# and 18 and the whole start-up, a coin must show as credit in the panel, a vend must spend it,
# Change Return must pay the rest, and closing the panel must send control code 0.
set -euo pipefail
wine=("$1" "$2")
sim=$3
mintora=$4
probe=$5
comm=$6
control=$((comm + 1))

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
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
key='HKCU\Software\Tessaline\Mintora'
"${wine[@]}" reg add "$key\\Connection" /v IPAddress /t REG_SZ /d 127.0.0.2 /f >/dev/null
"${wine[@]}" reg add "$key\\Connection" /v PortCommunication /t REG_DWORD /d "$comm" /f >/dev/null
"${wine[@]}" reg add "$key\\Connection" /v PortControl /t REG_DWORD /d "$control" /f >/dev/null
"${wine[@]}" reg add "$key\\Connection" /v AutoConnect /t REG_DWORD /d 1 /f >/dev/null
"${wine[@]}" reg add "$key\\AcceptorControl" /v CoinAccept /t REG_DWORD /d 63 /f >/dev/null
"${wine[@]}" reg add "$key\\Prices" /v Price_01 /t REG_DWORD /d 100 /f >/dev/null
"${wine[@]}" reg query "$key\\Connection" /v IPAddress | grep -q '127\.0\.0\.2' ||
  fail "the registry does not hold the loopback device address"

# The device ticks every 20 ms: Wine on a busy machine falls ticks behind it, repeats its queries
# and drops the answers to the repeats.
mkfifo "$work/sim-in"
"$sim" --headless --address 127.0.0.2 --comm-port "$comm" --control-port "$control" \
  --tick-ms 20 <"$work/sim-in" >"$work/sim.log" 2>&1 &
pids+=($!)
exec 3>"$work/sim-in" # the sim runs while this end is open
for _ in {1..100}; do grep -q '^READY' "$work/sim.log" && break; sleep 0.1; done

"${wine[@]}" "$mintora" >"$work/mintora.log" 2>&1 &
mintora_pid=$!
pids+=("$mintora_pid")

wait_for() { # wait_for LINE SECONDS: the sim logged exactly LINE
  for ((i = 0; i < $2 * 10; ++i)); do
    grep -qxF "$1" "$work/sim.log" && return 0
    sleep 0.1
  done
  return 1
}
wait_for "ENABLED accept 003F dispense 0000" 60 || fail "the changer was never enabled"
for line in "RX CTRL 3 08 03 0B CONTROL 11 POLL ON" "RX CTRL 3 08 03 12 CONTROL 18 REPORT ON" \
  "RX COMM 1 08 RESET" "RX COMM 1 09 SETUP" "RX COMM 2 0F 00 EXPANSION IDENTIFICATION" \
  "RX COMM 6 0F 01 00 00 00 00 EXPANSION FEATURE ENABLE" "RX COMM 1 0A TUBE STATUS" \
  "RX COMM 5 0C 00 3F 00 00 COIN TYPE"; do
  grep -qxF "$line" "$work/sim.log" || fail "no '$line' on the wire"
done
for code in 11 18; do
  (($(grep -c "^RX CTRL 3 .* CONTROL $code " "$work/sim.log") == 1)) || fail "control code $code sent more than once"
done

echo "insert 2" >&3 # 0.20
echo "insert 5" >&3 # 2.00
"${wine[@]}" "$probe" credit 2.20 || fail "the panel does not show the coins' 2.20"
"${wine[@]}" "$probe" click 1011 >/dev/null # product 1 at 1.00
"${wine[@]}" "$probe" credit 1.20 || fail "the vend did not leave 1.20"
"${wine[@]}" "$probe" click 1021 >/dev/null # Change Return
wait_for "RX COMM 3 0F 02 18 EXPANSION PAYOUT" 10 || fail "Change Return paid no 1.20"
"${wine[@]}" "$probe" credit 0.00 || fail "the credit is not 0.00 after the payout"
"${wine[@]}" "$probe" close >/dev/null
wait_for "RX CTRL 3 08 03 00 CONTROL 0 OFF" 10 || fail "closing the panel sent no control code 0"
status=0
wait "$mintora_pid" || status=$?
((status == 0)) || fail "Mintora.exe ended with $status"
exec 3>&-
echo "end to end under Wine: ok"
