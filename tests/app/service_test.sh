#!/bin/bash
# The Debian package in service on this machine: installed with dpkg, the
# Printer Application started as its systemd unit starts it (the unit's
# Environment and ExecStart lines, the state directory systemd makes for
# it), a printer added on its Add Printer page in headless Chromium, a PDF
# printed to that printer from a driverless CUPS queue (lpadmin -m
# everywhere) in a real CUPS scheduler, the server stopped as systemd stops
# it and its printer kept. The package is purged at the end; a machine that
# had it installed already is left alone (skipped):
#   service_test.sh PACKAGE_DIR
here=$(realpath "$(dirname "$0")")
. "$here/../cups/lib.sh"
. "$here/lib.sh"
own_network "$0" "$@"
needs_browser
deb=$(ls "$1"/zaridiravid_*.deb 2> /dev/null | head -1)
[ -n "$deb" ] || { echo "FAIL: no package in $1" >&2; exit 1; }
! dpkg -s zaridiravid > /dev/null 2>&1 || { echo "skipped: zaridiravid is installed here"; exit 77; }
scratch app-service
state=/var/lib/zaridiravid-app
cleanup() { stop_cupsd; stop_servers; dpkg --purge zaridiravid > /dev/null 2>&1; rm -rf "$state" "$tmp"; }

dpkg -i "$deb" > "$tmp/dpkg.log" 2>&1 || { fail "dpkg -i"; cat "$tmp/dpkg.log" >&2; exit 1; }
unit=/lib/systemd/system/zaridiravid-app.service
if command -v systemd-analyze > /dev/null; then
    systemd-analyze verify "$unit" > "$tmp/verify" 2>&1 || { fail "systemd-analyze verify"; cat "$tmp/verify" >&2; }
fi
# The unit's command line as systemd runs it: ${LISTEN} as one word, $AUTH
# split into words (none here).
eval "$(sed -n 's/^Environment=/export /p' "$unit")"
command=$(sed -n 's/^ExecStart=//p' "$unit")
eval "set -- $command"
mkdir -p "$state" && chmod 0755 "$state"
"$@" 2> "$tmp/journal" &
server=$! servers+=("$server")
port=$(grep -o 'server-port=[0-9]*' <<< "$command" | cut -d= -f2)
wait_for 20 'alive /usr/bin/zaridiravid-app' || { fail "the unit's server"; cat "$tmp/journal" >&2; exit 1; }

listen "$tmp/printer" && web add label "127.0.0.1:$devport" ravi343 || { fail "Add Printer page"; exit 1; }
uri=ipp://localhost:$port/ipp/print/label
start_cupsd

# A queue made from what the printer says of itself prints the sample label
# twice: the printer gets our language, two labels in all (CUPS makes the
# copies itself for a raster-only printer: one block "A2" or two "A1"), and
# a label image that is not blank.
timeout 60 lpadmin -h "$host" -p q -E -v "$uri" -m everywhere || { fail "lpadmin"; tail "$log" >&2; exit 1; }
print_job q -n 2 "$here/../../samples/shipping-label.pdf"
# CUPS counts its job done once the app has it; the app may still be printing.
wait_for 60 '[ -s "$tmp/printer" ] && zaridiravid-app status -u "$uri" | grep -q "idle since"' ||
    fail "the app's printer got nothing or stays busy"
expect "the printer's stream" "$(head -c 7 "$tmp/printer")" "e img;*"
zaridiravid-preview --text "$tmp/printer" > "$tmp/words" || fail "preview"
expect "labels" "$(awk '/^  A[0-9]+$/ { n += substr($1, 2) } END { print n }' "$tmp/words")" 2
expect "page 1 printed" "$(part "$tmp/printer" 1 image | gemtopnm | pamsumm -min -brief)" 0

# systemctl stop sends SIGTERM; the printer is in the unit's state file.
kill "$server"
wait_for 10 '! kill -0 "$server" 2> /dev/null' || fail "the server outlived SIGTERM by 10 s"
grep -q ' name="label" ' "$state/state" 2> /dev/null || fail "no printer 'label' in $state/state"
[ "$failures" -eq 0 ] || tail -20 "$tmp/journal" >&2
[ "$failures" -eq 0 ]
