#!/bin/bash
# Every generated PPD passes CUPS's cupstestppd, without a single warning:
#   cupstestppd_test.sh FILTER PPD_DIR
# cupstestppd looks for the PPD's filter in CUPS's filter directory; -R points
# it at a root directory that holds ours there, so nothing has to be installed.
set -u
filter=$1 ppds=$2
tmp=$(mktemp -d "${TMPDIR:-/tmp}/zaridiravid-cupstestppd.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
filterdir=$tmp$(cups-config --serverbin 2>/dev/null || echo /usr/lib/cups)/filter
mkdir -p "$filterdir"
ln -s "$(realpath "$filter")" "$filterdir/zaridiravid"

set -- "$ppds"/ravi*.ppd
if [ $# -ne 31 ]; then
    echo "FAIL: $# PPDs, expected 31" >&2
    exit 1
fi
cupstestppd -R "$tmp" "$@" > "$tmp/report"
status=$?
passed=$(grep -c ': PASS$' "$tmp/report")
if [ $status -ne 0 ] || [ "$passed" -ne 31 ] || grep -q 'WARN' "$tmp/report"; then
    grep -v ': PASS$' "$tmp/report" >&2
    echo "FAIL: $passed of 31 PPDs pass cupstestppd cleanly" >&2
    exit 1
fi
echo "ok: all 31 PPDs pass cupstestppd"
