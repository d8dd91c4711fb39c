#!/bin/bash
# Non-blank lines of the tests (tests/ and the tools that exist only for them) against those of
# the product (src/ and lib/). The rule: roughly a quarter to a third.
cd "$(dirname "$0")/.." || exit 1
count() { git ls-files -- "$@" | xargs cat | grep -cv '^[[:space:]]*$'; }
tests=$(count tests tools/seeded_faults.py tools/test_ratio.sh tools/include_check.py tools/lane32.sh)
code=$(count src lib)
awk -v t="$tests" -v c="$code" 'BEGIN { printf "tests %d, src + lib %d, ratio %.2f\n", t, c, t / c }'
