#!/bin/bash
# A driverless CUPS queue (lpadmin -m everywhere) on the Printer Application,
# in a real CUPS scheduler listening on a local socket with all its
# directories in a scratch one; the app prints to a loopback listener:
#   cups_everywhere_test.sh APP PREVIEW
here=$(dirname "$0")
. "$here/../cups/lib.sh"
. "$here/lib.sh"
[ "$(id -u)" -eq 0 ] || { echo "skipped: cupsd has to start as root"; exit 77; }
app=$(realpath "$1") preview=$(realpath "$2")
scratch app-cups
cleanup() { stop_cupsd; stop_servers; rm -rf "$tmp"; }

listen "$tmp/printer" && serve "$app" lab ravi343 || exit 1
start_cupsd

# A queue from what the app says of itself prints the one-page sample label
# twice.
timeout 60 lpadmin -h "$host" -p q -E -v "$uri" -m everywhere || { fail "lpadmin"; tail "$log" >&2; exit 1; }
print_job q -n 2 "$here/../../samples/shipping-label.pdf"
# CUPS counts its job done once the app has it; the app may still be printing.
wait_for 60 '[ -s "$tmp/printer" ] && "$app" status -u "$uri" | grep -q "idle since"' ||
    fail "the app's printer got nothing or stays busy"

# The printer got our language, and the label's image is not blank. CUPS
# makes the copies itself (its queues for raster-only printers set
# cupsManualCopies): two labels in all, as one block "A2" or two "A1".
expect "the printer's stream" "$(head -c 7 "$tmp/printer")" "e img;*"
"$preview" --text "$tmp/printer" > "$tmp/words" || fail "preview"
expect "labels" "$(awk '/^  A[0-9]+$/ { n += substr($1, 2) } END { print n }' "$tmp/words")" 2
expect "page 1 printed" "$(part "$tmp/printer" 1 image | gemtopnm | pamsumm -min -brief)" 0
[ "$failures" -eq 0 ] || { grep -v '^      ' "$tmp/words"; grep -h '^\*DefaultPageSize' "$tmp/root/ppd/q.ppd"
    grep -ho 'Page [0-9]* raster data is .*' "$tmp/lab/log"; } >&2
[ "$failures" -eq 0 ]
