#!/usr/bin/env bash
# package-test.sh SOURCE_DIR BUILD_DIR: builds the Debian package in BUILD_DIR/package-build (a
# folder of its own, as the package is compiled with Debian's build flags), unpacks it into a
# temporary root, checks its files, control fields, desktop entries, metainfo, manual pages and
# lintian, then starts the unpacked Mintora against the unpacked lx5200e-sim on loopback and
# watches a whole start-up on the wire. A missing tool fails the test and is named.
set -euo pipefail
src=$1
build=$2
for tool in dpkg-deb cpack desktop-file-validate appstreamcli lintian file tshark man; do
  command -v "$tool" >/dev/null || { echo "missing $tool: run scripts/setup" >&2; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# An option the script does not know is refused, not taken for a build folder.
status=0
"$src/scripts/package" --no-such-option 2>/dev/null || status=$?
[[ $status == 2 ]] || fail "scripts/package --no-such-option ended with $status, not 2"
deb=$("$src/scripts/package" "$build/package-build" | tail -n 1)
[[ $(basename "$deb") == mintora_1.0.0_amd64.deb ]] || fail "package named $(basename "$deb")"

# ---- Files --------------------------------------------------------------------------------
root=$work/root
dpkg-deb -x "$deb" "$root"
plugins=usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || echo x86_64-linux-gnu)/wireshark/plugins
expected=$(sort <<LIST
usr/bin/Mintora
usr/bin/lx5200e-sim
usr/share/applications/com.tessaline.Mintora.desktop
usr/share/applications/com.tessaline.Lx5200eSim.desktop
usr/share/metainfo/com.tessaline.Mintora.metainfo.xml
usr/share/metainfo/com.tessaline.Lx5200eSim.metainfo.xml
usr/share/icons/hicolor/16x16/apps/com.tessaline.Mintora.png
usr/share/icons/hicolor/32x32/apps/com.tessaline.Mintora.png
usr/share/icons/hicolor/48x48/apps/com.tessaline.Mintora.png
usr/share/icons/hicolor/256x256/apps/com.tessaline.Mintora.png
usr/share/icons/hicolor/16x16/apps/com.tessaline.Lx5200eSim.png
usr/share/icons/hicolor/32x32/apps/com.tessaline.Lx5200eSim.png
usr/share/icons/hicolor/48x48/apps/com.tessaline.Lx5200eSim.png
usr/share/icons/hicolor/256x256/apps/com.tessaline.Lx5200eSim.png
$plugins/lx5200e.lua
usr/share/doc/mintora/README.md
usr/share/doc/mintora/lx5200e-sim.md
usr/share/doc/mintora/copyright
usr/share/doc/mintora/changelog.gz
usr/share/man/man1/Mintora.1.gz
usr/share/man/man1/lx5200e-sim.1.gz
LIST
)
actual=$(cd "$root" && find . -type f -printf '%P\n' | sort)
[[ $actual == "$expected" ]] || fail "file list differs:
$(diff <(echo "$expected") <(echo "$actual"))"
for size in 16 32 48 256; do
  file "$root/usr/share/icons/hicolor/${size}x$size/apps/com.tessaline.Mintora.png" |
    grep -q "$size x $size" || fail "the ${size}px icon is not ${size}x$size"
done
grep -q "names no licence" "$root/usr/share/doc/mintora/copyright" || fail "copyright names a licence"
# One version everywhere: the package's, the sim's --version and both manual pages'.
[[ $("$root/usr/bin/lx5200e-sim" --version) == "lx5200e-sim 1.0.0" ]] ||
  fail "lx5200e-sim --version prints '$("$root/usr/bin/lx5200e-sim" --version)'"
for page in Mintora lx5200e-sim; do
  gzip -dc "$root/usr/share/man/man1/$page.1.gz" | head -n 1 | grep -qF '"Mintora 1.0.0"' ||
    fail "the manual page of $page does not carry version 1.0.0"
done
sim_page=$(MANWIDTH=200 man -l "$root/usr/share/man/man1/lx5200e-sim.1.gz" 2>/dev/null)
grep -qF /usr/share/doc/mintora/lx5200e-sim.md <<<"$sim_page" || fail "man lx5200e-sim does not name its guide"

# ---- Control fields: dependencies from the binaries, plus the dialogs' fonts ------------------
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 libqt6network6 libc6 fonts-liberation; do
  [[ $depends == *"$needed"* ]] || fail "Depends lacks $needed: $depends"
done
[[ $(dpkg-deb -f "$deb" Version) == 1.0.0 ]] || fail "version $(dpkg-deb -f "$deb" Version)"

# ---- Desktop entries, metainfo, lintian ---------------------------------------------------------
desktop-file-validate "$root"/usr/share/applications/*.desktop
# A dock matches a window to its entry by WM_CLASS, whose class Qt takes from the application name.
for entry in com.tessaline.Mintora:Mintora com.tessaline.Lx5200eSim:lx5200e-sim; do
  grep -qx "StartupWMClass=${entry#*:}" "$root/usr/share/applications/${entry%%:*}.desktop" ||
    fail "${entry%%:*}.desktop lacks StartupWMClass=${entry#*:}"
done
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.xml >/dev/null ||
  appstreamcli validate --no-net "$root"/usr/share/metainfo/*.xml
lintian_tags=$(lintian -i -I --fail-on error "$deb") || fail "lintian reports errors:
$lintian_tags"
# Debian's hardening flags reached both binaries (the tags are at info and warning level).
if grep -E ': hardening-no-(bindnow|fortify-functions|relro)( |$)' <<<"$lintian_tags"; then
  fail "the binaries lack hardening"
fi

# ---- The packaged plugin is one Wireshark loads (from a plugin folder, as for one user) --------
mkdir -p "$work/.local/lib/wireshark/plugins"
cp "$root/$plugins/lx5200e.lua" "$work/.local/lib/wireshark/plugins/"
HOME=$work tshark -G protocols 2>/dev/null | grep -q $'\tlx5200e$' ||
  fail "tshark does not load the packaged lx5200e.lua"

# ---- A whole start-up between the unpacked programs, on loopback ------------------------------
comm=$((24800 + 2 * ($$ % 50)))
control=$((comm + 1))
config=$work/config
mkdir -p "$config/Tessaline"
printf '[Connection]\nIPAddress=127.0.0.2\nPortCommunication=%d\nPortControl=%d\nAutoConnect=1\n[AcceptorControl]\nCoinAccept=63\n' \
  "$comm" "$control" >"$config/Tessaline/Mintora.conf"
mkfifo "$work/sim-in"
"$root/usr/bin/lx5200e-sim" --headless --address 127.0.0.2 --comm-port "$comm" \
  --control-port "$control" --tick-ms 20 <"$work/sim-in" >"$work/sim.log" 2>&1 &
pids+=($!)
exec 3>"$work/sim-in"  # the sim runs while this end is open
for _ in {1..100}; do grep -q '^READY' "$work/sim.log" && break; sleep 0.1; done
# The device's manual page names every headless command that its help lists.
echo help >&3
for _ in {1..50}; do grep -q '^HELP quit' "$work/sim.log" && break; sleep 0.1; done
grep -q '^HELP quit' "$work/sim.log" || fail "lx5200e-sim does not answer help"
while read -r _ command kind _; do
  [[ $command != fault ]] || command+=" $kind"
  grep -qE "^ +$command( |$)" <<<"$sim_page" || fail "man lx5200e-sim lacks the command '$command'"
done < <(grep -E '^HELP [a-z]' "$work/sim.log")
XDG_CONFIG_HOME=$config "$root/usr/bin/Mintora" >"$work/mintora.log" 2>&1 &
pids+=($!)
startup=(
  "RX CTRL 3 08 03 0B CONTROL 11 POLL ON"
  "RX CTRL 3 08 03 12 CONTROL 18 REPORT ON"
  "RX COMM 1 08 RESET"
  "RX COMM 1 09 SETUP"
  "RX COMM 2 0F 00 EXPANSION IDENTIFICATION"
  "RX COMM 6 0F 01 00 00 00 00 EXPANSION FEATURE ENABLE"
  "RX COMM 1 0A TUBE STATUS"
  "RX COMM 5 0C 00 3F 00 00 COIN TYPE"
)
for _ in {1..300}; do grep -q '^ENABLED accept 003F' "$work/sim.log" && break; sleep 0.1; done
for line in "${startup[@]}"; do
  grep -qxF "$line" "$work/sim.log" || fail "no '$line' on the wire:
$(grep -v TICK "$work/sim.log" | head -40)"
done
exec 3>&-
echo "package ok: $deb"
