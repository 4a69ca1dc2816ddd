#!/usr/bin/env bash
# The include rules hold for the tree, and the check notices an upward include planted in a copy.
set -euo pipefail
root=$1
"$root/tools/check-includes" "$root"
planted=$(mktemp -d)
trap 'rm -rf "$planted"' EXIT
mkdir -p "$planted/core" "$planted/ui" "$planted/tests/unit"
printf '#include "ui/CTessikDlg.h"\n' >"$planted/core/device_rows.h"
printf '#include "core/device_rows.h"\n' >"$planted/ui/CTessikDlg.h"
printf '#include "ui/CTessikDlg.h"\n' >"$planted/tests/unit/any_test.cpp"
if out=$("$root/tools/check-includes" "$planted" 2>&1); then
    echo "FAIL: the planted upward include passed" >&2
    exit 1
fi
grep -q 'core/device_rows.h: includes "ui/CTessikDlg.h"' <<<"$out" || { echo "FAIL: not named: $out" >&2; exit 1; }
[[ $(grep -c ': includes ' <<<"$out") == 1 ]] || { echo "FAIL: more than the planted include: $out" >&2; exit 1; }
echo "planted upward include caught"
