#!/bin/bash
# The Debian package in service on this machine: installed with dpkg, the
# Printer Application started as its systemd unit starts it (the unit's
# Environment and ExecStart lines, the state directory systemd makes for
# it), a printer added on its Add Printer page in headless Chromium, a PDF
# printed to that printer from a driverless CUPS queue, the server stopped
# as systemd stops it and its printer kept. The package is purged at the
# end; a machine that had it installed already is left alone (skipped):
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
driverless_label /usr/bin/zaridiravid-app /usr/bin/zaridiravid-preview "$tmp/printer"

# systemctl stop sends SIGTERM; the printer is in the unit's state file.
kill "$server"
wait_for 10 '! kill -0 "$server" 2> /dev/null' || fail "the server outlived SIGTERM by 10 s"
grep -q ' name="label" ' "$state/state" 2> /dev/null || fail "no printer 'label' in $state/state"
[ "$failures" -eq 0 ] || tail -20 "$tmp/journal" >&2
[ "$failures" -eq 0 ]
