#!/bin/bash
# Every generated PPD passes CUPS's cupstestppd without a warning, with our
# filter where CUPS keeps its filters under the root that -R names:
#   cupstestppd_test.sh FILTER PPD_DIR
. "$(dirname "$0")/lib.sh"
scratch cupstestppd
# A link, so that the checks of the filter's permissions see the built file.
mkdir -p "$tmp$cupsbin/filter" && ln -s "$(realpath "$1")" "$tmp$cupsbin/filter/zaridiravid"
set -- "$2"/ravi*.ppd
expect "PPD files" $# 31
report=$(cupstestppd -R "$tmp" "$@") || fail "cupstestppd failed"
expect "PPDs that pass, warnings" "$(grep -c ': PASS$' <<< "$report"), $(grep -c WARN <<< "$report")" "31, 0"
[ "$failures" -eq 0 ] || { echo "$report" >&2; exit 1; }
