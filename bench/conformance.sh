#!/bin/bash
# CUPS's IPP Everywhere test suite against our Printer Application and, in
# the same run and on the same documents, against Debian's lprint (another
# PAPPL Printer Application for label printers) with a 4-inch 300-dpi
# thermal-transfer driver. Prints each one's counts and failed tests.
#   bench/conformance.sh [APP]     (APP: build/app/zaridiravid-app)
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tests/cups/lib.sh"
. "$root/tests/app/lib.sh"
app=$(realpath "${1:-$root/build/app/zaridiravid-app}")
for p in "$app" ipptool gs lprint setpriv; do command -v "$p" > /dev/null || { echo "missing: $p" >&2; exit 1; }; done
scratch bench-conformance
cleanup() { stop_servers; rm -rf "$tmp"; }
mkdir "$tmp/docs" && (cd "$tmp/docs" && samples 300)

# run NAME PROGRAM DRIVER: the suite against PROGRAM's printer NAME.
run() {
    listen "$tmp/$1.prn" && serve "$2" "$1" "$3" || return
    (cd "$tmp/docs" && suite "$tmp/$1.report")
    echo "== $1 (${3#*_})"
    summary "$tmp/$1.report"
    alive "$2" || echo "  the server died"
    stop_servers
}
run zaridiravid-app "$app" ravi343

# lprint as root keeps its printers in /etc: here it runs as nobody, with
# its state in the scratch directory.
mkdir -p "$tmp/lprint/spool" "$tmp/home" && chown -R nobody "$tmp/lprint" "$tmp/home"
printf '#!/bin/sh\nexec setpriv --reuid=nobody --regid=nogroup --clear-groups env HOME=%s lprint "$@"\n' \
    "$tmp/home" > "$tmp/lprint.sh" && chmod 0755 "$tmp/lprint.sh"
run lprint "$tmp/lprint.sh" "$(lprint drivers | awk '$1 ~ /_4inch-300dpi-tt$/ { print $1; exit }')"
[ "$failures" -eq 0 ]
