# Sourced by the scripts in tools/ after they set `tag`, the prefix of their messages: a failure
# anywhere stops the script and says where (file, line, function) and which command failed;
# `quietly` keeps a command's output aside and shows it only when that command fails.
set -Eeuo pipefail
trap 'rc=$?; printf "[%s] FAILED (exit %d) at %s:%d in %s: %s\n" "$tag" "$rc" \
    "${BASH_SOURCE[0]##*/}" "$LINENO" "${FUNCNAME[0]:-the script}" "$BASH_COMMAND" >&2' ERR

say() { printf '[%s] %s\n' "$tag" "$*" >&2; }

# quietly COMMAND...: an external command whose output matters only when it fails.
quietly() {
    local log rc=0
    log=$(mktemp)
    "$@" >"$log" 2>&1 || rc=$?
    if [ "$rc" -ne 0 ]; then
        say "failed (exit $rc): $*"
        say "its output:"
        cat "$log" >&2
    fi
    rm -f "$log"
    return "$rc"
}
