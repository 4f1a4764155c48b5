# shellcheck shell=bash
# Sourced by the scripts that start Mintora, lx5200e-sim or render-icons (run, test,
# test-windows, package). Qt's programs want a runtime folder private to the user
# (XDG_RUNTIME_DIR, mode 0700), which a root shell, a container or an ssh session often lacks:
# each start would then print "QStandardPaths: XDG_RUNTIME_DIR not set".
#
# private_runtime_dir FOLDER: when XDG_RUNTIME_DIR is not set, makes FOLDER (mode 0700) and
# exports it as XDG_RUNTIME_DIR for everything the script starts. A session's own is kept.
private_runtime_dir() {
  [[ -z ${XDG_RUNTIME_DIR:-} ]] || return 0
  mkdir -p "$1"
  chmod 0700 "$1"
  XDG_RUNTIME_DIR=$(realpath "$1")
  export XDG_RUNTIME_DIR
}
