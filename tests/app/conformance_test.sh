#!/bin/bash
# CUPS's IPP Everywhere test suite (with the IPP/1.1 and 2.0 suites it
# includes) against the Printer Application, serving a Ravi 343/300 whose
# printer is a loopback listener:
#   conformance_test.sh APP
here=$(dirname "$0")
. "$here/../cups/lib.sh"
. "$here/lib.sh"
command -v ipptool > /dev/null && command -v gs > /dev/null || { echo "skipped: needs ipptool and gs"; exit 77; }
app_scratch conformance "$1"

listen "$tmp/printer" && serve "$app" lab ravi343 || exit 1
mkdir "$tmp/docs" && cd "$tmp/docs" && samples 300
suite "$tmp/report"
summary "$tmp/report"

# The suite's failures, exactly: what PAPPL 1.3.1 itself gets wrong and the
# driver cannot mend (it offers no page overrides), and what the app does not
# claim as the printers have none (a supply level it could read; a display,
# light or sound to identify a printer by). Any other failure is ours.
section='PWG 5100.14 section 5.1/5.2 - Required Operations and Attributes'
expect "the suite's failures" "$(failures "$tmp/report" | sort -u)" "$(sort <<EOF
$section
$section: EXPECTED: overrides-supported
$section: EXPECTED: identify-actions-default WITH-VALUE /^(display|flash|sound|speak)/
$section: EXPECTED: identify-actions-supported
$section: EXPECTED: printer-supply
$section: EXPECTED: printer-supply-description
EOF
)"
# The page that printer-supply-info-uri names says there are none.
supplies=$(ipptool -tv "$uri" get-printer-attributes.test | sed -n 's/.*printer-supply-info-uri (uri) = //p')
python3 -c 'import sys, urllib.request; print(urllib.request.urlopen(sys.argv[1]).read().decode())' "$supplies" |
    grep -q "reports no supplies" || fail "no supplies page at [$supplies]"
[ "$failures" -eq 0 ] || grep -B2 -A12 '\[FAIL\]$' "$tmp/report" >&2

# The server outlives the suite and prints its jobs to the printer.
alive "$app" || fail "the server died"
wait_for 120 '"$app" status -u "$uri" | grep -q "idle since"' || fail "the printer stays busy"
expect "the printer's stream" "$(head -c 7 "$tmp/printer")" "e img;*"
[ "$failures" -eq 0 ]
