#!/usr/bin/env bash
# Runs every test: the native unit tests (with ASan and UBSan), the checks of the shipped
# qvk.exe as a file (label "file"), the end-to-end tests of the Windows program under Wine and
# the 32-bit lane (tools/lane32.sh), whose outcome and time are its last lines. Installs what it
# needs first; safe to rerun.
tag=test
. "$(dirname "$0")/lib.sh"
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc)

"$root/tools/setup.sh"

"$root/tools/build-windows.sh"

say "building the native core and its tests (build/native)"
quietly cmake -S . -B build/native -G Ninja -DQVK_SANITIZE=ON \
    -DQVK_WIN_BUILD_DIR="$root/build/win32" -DQVK_WIN64_BUILD_DIR="$root/build/win64"
cmake --build build/native -j"$jobs"

say "running the tests (unit, file, wine and the 32-bit lane)"
record=build/native/lane32/record.tsv
rm -f "$record"
rc=0
ctest --test-dir build/native --output-on-failure -j"$jobs" "$@" || rc=$?
# The lane's own record says whether it ran, how and for how long; a lane not run fails only
# where it is asked for (QVK_REQUIRE_LANE32, set by .ci/run).
"$root/tools/lane32.sh" report "$record" || rc=$?
exit "$rc"
