#!/usr/bin/env bash
# installer-test.sh WINE_RUN PREFIX INSTALLER MINTORA_EXE PANEL_PROBE_EXE SIM PORT: the Windows
# installer in a Wine prefix of its own (PREFIX, deleted and made anew by WINE_RUN each run).
# A silent install must put the built Mintora.exe, the README and the uninstaller in
# C:\Program Files\Mintora, the Start-menu shortcut and the uninstall entry in place; the installed
# program, started through that shortcut with its settings seeded first (the Linux lx5200e-sim on
# 127.0.0.2, ports PORT and PORT+1), must send control code 11 at start and 0 when its panel
# closes; a silent uninstall must take away the files, the shortcut and the entry, and the folder
# of the copy of itself that it runs from, and leave the user's settings.
set -euo pipefail
wine_run=$1
prefix=$(realpath -m "$2")
installer=$3
built_exe=$4
probe=$5
sim=$6
comm=$7
control=$((comm + 1))
readme=$(dirname "${BASH_SOURCE[0]}")/../../README.md
# shellcheck source=SCRIPTDIR/../../scripts/lib/wine.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/wine.sh"

fail() {
  echo "FAIL: $*" >&2
  if [[ -s ${work:-}/sim.log ]]; then
    echo "---- sim log" >&2
    grep -v TICK "$work/sim.log" | tail -20 >&2 || true
  fi
  exit 1
}
for tool in wine wineserver strings; do
  command -v "$tool" >/dev/null || fail "$tool missing: run scripts/setup"
done
[[ -f $installer ]] || fail "no installer at $installer: makensis missing? ./scripts/package --windows builds it"
[[ -x $sim ]] || fail "no lx5200e-sim at $sim: cmake --build --preset default --target lx5200e-sim"
[[ -n ${DISPLAY:-} ]] || fail "no DISPLAY: the panel needs an X display (scripts/test-windows starts Xvfb)"

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  sim_stop
  wine_stop_server "$prefix"
  rm -rf "$work"
}
trap cleanup EXIT

wine() { "$wine_run" "$prefix" "$@"; }

# A fresh prefix, and a wineserver of its own that outlives each program: Wine's services, which
# the first program starts, would otherwise hold this script's output open after it ends.
rm -rf "$prefix" "$prefix.lock"
"$wine_run" "$prefix" >/dev/null 2>&1 || fail "Wine could not make the prefix $prefix"
wine_start_server "$prefix" || fail "no wineserver for $prefix"

# Install.
status=0
wine "$installer" /S >"$work/install.log" 2>&1 || status=$?
((status == 0)) || fail "the installer ended with $status"
dir=$prefix/drive_c/Program\ Files/Mintora
lnk=$prefix/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/Mintora.lnk
cmp -s "$dir/Mintora.exe" "$built_exe" || fail "C:\\Program Files\\Mintora\\Mintora.exe is not the built one"
cmp -s "$dir/README.md" "$readme" || fail "no README.md beside Mintora.exe"
[[ -f $dir/Uninstall.exe ]] || fail "no Uninstall.exe"
[[ -f $lnk ]] || fail "no Start-menu shortcut at $lnk"
strings -a "$lnk" | grep -qxF 'C:\Program Files\Mintora\Mintora.exe' ||
  fail "the shortcut does not point at C:\\Program Files\\Mintora\\Mintora.exe"

uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Mintora'
wine reg query "$uninstall_key" /reg:64 2>/dev/null | tr -d '\r' >"$work/entry.txt" ||
  fail "no uninstall entry in the 64-bit registry"
cat "$work/entry.txt"
expect_value() { # expect_value NAME TYPE DATA
  grep -qxF "    $1    $2    $3" "$work/entry.txt" || fail "the uninstall entry has no $1 $2 '$3'"
}
expect_value DisplayName REG_SZ Mintora
expect_value DisplayVersion REG_SZ 1.0.0
expect_value Publisher REG_SZ Tessaline
expect_value DisplayIcon REG_SZ 'C:\Program Files\Mintora\Mintora.exe'
expect_value InstallLocation REG_SZ 'C:\Program Files\Mintora'
expect_value UninstallString REG_SZ '"C:\Program Files\Mintora\Uninstall.exe"'
expect_value QuietUninstallString REG_SZ '"C:\Program Files\Mintora\Uninstall.exe" /S'
expect_value NoModify REG_DWORD 0x1
expect_value NoRepair REG_DWORD 0x1

# The settings point at loopback before the installed program ever starts.
wine_seed_settings 127.0.0.2 "$comm" "$control" || fail "the settings could not be seeded"
key='HKCU\Software\Tessaline\Mintora\Connection'

sim_start "$sim" "$work" "$comm" "$control" --tick-ms 20 || fail "lx5200e-sim did not start"

# Through the shortcut, as the Start menu would; start /wait hands back Mintora.exe's exit code.
wine start /wait /unix "$lnk" >"$work/mintora.log" 2>&1 &
mintora_pid=$!
pids+=("$mintora_pid")
sim_wait_for "RX CTRL 3 08 03 0B CONTROL 11 POLL ON" 60 || fail "the installed Mintora.exe sent no control code 11"
wine "$probe" close >/dev/null 2>&1 || fail "the installed Mintora.exe showed no panel"
sim_wait_for "RX CTRL 3 08 03 00 CONTROL 0 OFF" 20 || fail "closing the panel sent no control code 0"
status=0
wait "$mintora_pid" || status=$?
((status == 0)) || fail "Mintora.exe ended with $status"
exec 3>&-

# Uninstall. The uninstaller runs from a copy of itself in the temporary folder and returns at
# once; the copy then removes what was installed.
status=0
wine 'C:\Program Files\Mintora\Uninstall.exe' /S >"$work/uninstall.log" 2>&1 || status=$?
((status == 0)) || fail "the uninstaller ended with $status"
gone() { [[ ! -e $dir && ! -e $lnk ]] && ! wine reg query "$uninstall_key" /reg:64 >/dev/null 2>&1; }
for _ in {1..60}; do
  gone && break
  sleep 0.5
done
[[ ! -e $dir ]] || fail "C:\\Program Files\\Mintora is still there: $(ls "$dir")"
[[ ! -e $lnk ]] || fail "the Start-menu shortcut is still there"
gone || fail "the uninstall entry is still there"
wine reg query "$key" /v IPAddress 2>/dev/null | grep -q '127\.0\.0\.2' ||
  fail "the uninstaller took the user's settings"
# It ran from a copy of itself in the user's Temp folder (whose removal at restart it left
# listed), and that copy's folder goes too, at once.
wine reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' \
  /v PendingFileRenameOperations 2>/dev/null | grep -q '\\~nsu[0-9A-Z]*\.tmp' ||
  fail "the uninstaller did not run from a copy in the Temp folder"
temp_copies() { compgen -G "$prefix/drive_c/users/*/Temp/~nsu*.tmp" || true; }
for _ in {1..20}; do
  [[ -z $(temp_copies) ]] && break
  sleep 0.5
done
[[ -z $(temp_copies) ]] || fail "the uninstaller left its copy's folder: $(temp_copies)"
echo "installer under Wine: ok"
