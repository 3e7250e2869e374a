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
cupsd=
cleanup() {
    [ -z "$cupsd" ] || { kill "$cupsd"; wait_for 5 '! kill -0 "$cupsd"' || kill -9 "$cupsd"; } 2>/dev/null
    stop_servers
    rm -rf "$tmp"
}

listen "$tmp/printer" && serve "$app" lab ravi343 || exit 1
mkdir -p "$tmp"/{root,spool,cache,state,log}
printf '%s\n' "ServerRoot $tmp/root" "RequestRoot $tmp/spool" "CacheDir $tmp/cache" "StateDir $tmp/state" \
    "ErrorLog $tmp/log/error_log" "AccessLog $tmp/log/access_log" "PageLog $tmp/log/page_log" \
    "Printcap $tmp/printcap" > "$tmp/cups-files.conf"
host=$tmp/socket log=$tmp/log/error_log
printf '%s\n' "Listen $host" "LogLevel debug" "Browsing No" "WebInterface No" \
    "<Policy default>" "<Limit All>" "Allow all" "</Limit>" "</Policy>" > "$tmp/cupsd.conf"
cupsd -f -c "$tmp/cupsd.conf" -s "$tmp/cups-files.conf" &
cupsd=$!
wait_for 10 'lpstat -h "$host" -r 2>/dev/null | grep -q "is running"' || { fail scheduler; tail "$log" >&2; exit 1; }

# A queue from what the app says of itself prints the one-page sample label
# twice.
timeout 60 lpadmin -h "$host" -p q -E -v "$uri" -m everywhere || { fail "lpadmin"; tail "$log" >&2; exit 1; }
id=$(timeout 30 lp -h "$host" -d q -n 2 "$here/../../samples/shipping-label.pdf" | grep -o 'q-[0-9]*')
job="\[Job ${id#q-}\]"
wait_for 120 '[ -z "$id" ] || grep -qE "$job (Job (completed|stopped|aborted|canceled)|Stopping job)" "$log"'
grep -q "$job Job completed" "$log" || { fail "job [$id]"; grep -v ^D "$log" | tail -20 >&2; exit 1; }
wait_for 60 '"$app" status -u "$uri" | grep -q "idle since"' || fail "the app's printer stays busy"

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
