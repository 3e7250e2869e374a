#!/bin/bash
# The Printer Application against hostile clients on loopback: COUNT (20000,
# or $ZARIDIRAVID_HOSTILE_REQUESTS) mutated IPP requests (mutate.py), then
# twice 8 clients at once each sending a page whose header claims rows of
# 16 MiB. The server answers throughout, still prints a label whole, and its
# memory grows by at most 16 MiB (not checked under AddressSanitizer, which
# holds freed memory back on purpose).
#   hostile_test.sh APP [COUNT]
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../cups/lib.sh"
. "$here/lib.sh"
command -v gs > /dev/null || { echo "skipped: needs gs"; exit 77; }
scratch app-hostile
cleanup() { stop_servers; rm -rf "$tmp"; }
own_app "$1"
cd "$tmp" || exit 1
printf '<< /PageSize [144 72] >> setpagedevice 10 10 60 52 rectfill showpage\n' > label.ps
gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pwgraster -r300 -dcupsColorSpace=18 -dcupsBitsPerColor=8 \
    -sOutputFile=label.pwg label.ps 2> /dev/null || fail "label"
start_server "$app" "$tmp/state" || exit 1
printer d 343 || exit 1
rss() { awk '/^VmRSS/ { print $2 }' "/proc/$server/status"; }
labels() { grep -c $'^A2\r$' d.prn; }

# Warmed up by one job of each kind the mutations start from.
python3 "$here/mutate.py" "$port" d label.pwg 40 0
before=$(rss)
python3 "$here/mutate.py" "$port" d label.pwg "${2:-${ZARIDIRAVID_HOSTILE_REQUESTS:-20000}}" 1
for burst in 1 2; do python3 "$here/mutate.py" "$port" d label.pwg big; done
alive "$app" || fail "the server stopped answering"
after=$(rss)
echo "memory before the requests: $before KiB, after: $after KiB"
[ $((after - before)) -le 16384 ] || [ -n "${ASAN_OPTIONS:-}" ] || fail "memory grew from $before to $after KiB"

# Still prints: the label job block of one more job, its image whole.
wait_for 60 '"$app" status -u "ipp://localhost:$port/ipp/print/d" | grep -q "idle since"' || fail "printer busy"
printed=$(labels)
"$app" submit -u "ipp://localhost:$port/ipp/print/d" -o copies=2 label.pwg > /dev/null || fail "submit"
wait_for 30 '[ "$(labels)" -gt "$printed" ]' || fail "no label after the hostile requests"
[ "$failures" -eq 0 ]
