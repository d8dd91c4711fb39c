#!/usr/bin/env bash
# The main job: builds qvk.exe (and its 64-bit twin for hosts that cannot start 32-bit
# programs), starts a local plugin server, "installs" both editions of the editor in a Wine
# prefix and runs the wizard against them to "Installation finished.", then prints what it
# installed. Installs what it needs first; safe to rerun. Pass --auto to walk the wizard
# automatically even when a display is available.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/tools/setup.sh"
"$root/tools/build-windows.sh"
export QVK_WIN_BUILD_DIR="$root/build/win32" QVK_WIN64_BUILD_DIR="$root/build/win64"
exec python3 "$root/tools/demo.py" "$@"
