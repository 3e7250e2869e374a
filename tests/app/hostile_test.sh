#!/bin/bash
# The app against COUNT (20000, or $ZARIDIRAVID_HOSTILE_REQUESTS) mutated IPP requests, then twice 8 clients at
# once sending lines of 16 MiB (mutate.py): it answers, prints a label after them, and its memory grows by at most
# 16 MiB (not under AddressSanitizer, which holds freed memory back).
#   hostile_test.sh APP [COUNT]
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../cups/lib.sh"
. "$here/lib.sh"
command -v gs > /dev/null || { echo "skipped: needs gs"; exit 77; }
app_scratch hostile "$1"
echo '<< /PageSize [144 72] >> setpagedevice 10 10 60 52 rectfill showpage' |
    gs -q -dSAFER -sDEVICE=pwgraster -r300 -dcupsColorSpace=18 -dcupsBitsPerColor=8 -sOutputFile=label.pwg - 2> /dev/null
start_server "$app" "$tmp/state" && printer d 343 || exit 1
rss() { awk '/^VmRSS/ { print $2 }' "/proc/$server/status"; }

python3 "$here/mutate.py" "$port" d label.pwg 40 0  # warming up
before=$(rss)
python3 "$here/mutate.py" "$port" d label.pwg "${2:-${ZARIDIRAVID_HOSTILE_REQUESTS:-20000}}" 1
python3 "$here/mutate.py" "$port" d label.pwg big && python3 "$here/mutate.py" "$port" d label.pwg big
alive "$app" || fail "the server stopped answering"
after=$(rss)
echo "memory before the requests: $before KiB, after: $after KiB"
[ $((after - before)) -le 16384 ] || [ -n "${ASAN_OPTIONS:-}" ] || fail "memory grew from $before to $after KiB"

wait_for 60 '"$app" status -u "ipp://localhost:$port/ipp/print/d" | grep -q "idle since"' || fail "printer busy"
"$app" submit -u "ipp://localhost:$port/ipp/print/d" -o copies=7 label.pwg > /dev/null || fail "submit"
wait_for 30 "grep -q \$'^A7\r\$' d.prn" || { fail "no label after the hostile requests"; tail -20 "$tmp/state/log" >&2; }
[ "$failures" -eq 0 ]
