#!/bin/bash
# A real CUPS scheduler, listening on a local socket with all its directories
# in a scratch one, and a queue for one of our models printing into a file:
#   cupsd_test.sh FILTER PPD_DIR
. "$(dirname "$0")/lib.sh"
[ "$(id -u)" -eq 0 ] || { echo "skipped: cupsd has to start as root"; exit 77; }
scratch cupsd
cupsd=
cleanup() {
    [ -z "$cupsd" ] || { kill "$cupsd"; wait_for 5 '! kill -0 "$cupsd"' || kill -9 "$cupsd"; } 2>/dev/null
    rm -rf "$tmp"
}

# Its programs with our filter, its data with our PPDs as a driver directory.
serverbin "$tmp/bin" "$1"
mkdir -p "$tmp"/{root,spool,cache,state,log,data/model/zaridiravid}
for d in "$(cups-config --datadir)"/*; do [ "$(basename "$d")" = model ] || ln -s "$d" "$tmp/data/"; done
cp "$2"/ravi*.ppd "$tmp/data/model/zaridiravid/"
printf '%s\n' "ServerRoot $tmp/root" "ServerBin $tmp/bin" "DataDir $tmp/data" "RequestRoot $tmp/spool" \
    "CacheDir $tmp/cache" "StateDir $tmp/state" "ErrorLog $tmp/log/error_log" "AccessLog $tmp/log/access_log" \
    "PageLog $tmp/log/page_log" "Printcap $tmp/printcap" "FileDevice Yes" > "$tmp/cups-files.conf"
host=$tmp/socket log=$tmp/log/error_log
printf '%s\n' "Listen $host" "LogLevel debug" "Browsing No" "WebInterface No" \
    "<Policy default>" "<Limit All>" "Allow all" "</Limit>" "</Policy>" > "$tmp/cupsd.conf"
cupsd -f -c "$tmp/cupsd.conf" -s "$tmp/cups-files.conf" &
cupsd=$!
wait_for 10 'lpstat -h "$host" -r 2>/dev/null | grep -q "is running"' || { fail scheduler; tail "$log" >&2; exit 1; }

# The driver lists every model; a queue from its listing prints a PDF with
# options and three copies into a file.
expect "lpinfo -m" "$(timeout 30 lpinfo -h "$host" -m | grep -c '^zaridiravid/ravi[0-9]*\.ppd Ravi ')" 31
timeout 30 lpadmin -h "$host" -p q -E -m zaridiravid/ravi343.ppd -v "file://$tmp/out" \
    -o printer-error-policy=abort-job 2>/dev/null || fail "lpadmin"
test_pdf "$tmp/test.pdf"
id=$(timeout 30 lp -h "$host" -d q -o Heat=12 -o Cutter=True -o cCutterInterval=100 -o cCutterOffset1Dir=Minus \
    -o cCutterOffset1VK=20 -o cCutterOffset1NK=9 -n 3 "$tmp/test.pdf" | grep -o 'q-[0-9]*')
job="\[Job ${id#q-}\]"
wait_for 60 '[ -z "$id" ] || grep -qE "$job (Job (completed|stopped|aborted|canceled)|Stopping job)" "$log"'
grep -q "$job Job completed" "$log" || { fail "job [$id]"; grep -v ^D "$log" | tail -20 >&2; exit 1; }

# The printer makes the copies: each page's block ends in "A3".
check_pages "$tmp/out" $'m m\nJ\nO D\nH 4,12,T\nS l1;0.00,0.00,50.09,53.09,99.8\nI 0,0,0;cups\nC 100,-20.9\nA3'
[ "$failures" -eq 0 ]
