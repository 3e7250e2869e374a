#!/bin/bash
# The Debian package in service on this machine: installed with dpkg, the
# Printer Application started as its systemd unit starts it (its user and
# groups, no new privileges, the state and runtime directories systemd makes
# for it, its ExecStartPre, Environment and ExecStart lines), opened to the
# network with a login as the unit's comment says (all addresses, an
# auth-service, group shadow), reached by the command line of root and of a
# member of lpadmin, a printer added on its Add Printer page in headless
# Chromium by that member logged in, a PDF printed to that printer from a
# driverless CUPS queue (lpadmin -m everywhere) in a real CUPS scheduler,
# the server stopped as systemd stops it and its printer kept. The package
# is purged at the end, and with it the service's state and user; a machine
# that had it installed already is left alone (skipped):
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
state=/var/lib/zaridiravid-app run=/run/zaridiravid-app
cleanup() { stop_cupsd; stop_servers; dpkg --purge zaridiravid > /dev/null 2>&1; rm -rf "$state" "$run" "$tmp"; }
own_login lpadmin

dpkg -i "$deb" > "$tmp/dpkg.log" 2>&1 || { fail "dpkg -i"; cat "$tmp/dpkg.log" >&2; exit 1; }
unit=/lib/systemd/system/zaridiravid-app.service
if command -v systemd-analyze > /dev/null; then
    systemd-analyze verify "$unit" > "$tmp/verify" 2>&1 || { fail "systemd-analyze verify"; cat "$tmp/verify" >&2; }
    systemd-analyze security --offline=yes "$unit" > "$tmp/security" 2>&1
    expect "the unit's exposure at most 2.5" "$(awk '/Overall exposure level/ { print ($(NF - 2) <= 2.5) }' \
        "$tmp/security")" 1
fi
# The unit as systemd runs it, with the drop-in its comment suggests:
# ${LISTEN} one word, $AUTH split into words.
key() { sed -n "s/^$1=//p" "$unit"; }
user=$(key User) group=$(key Group) groups=$(key SupplementaryGroups | tr ' ' ,),shadow
expect "the service's user" "$(id -nG "$user" | tr ' ' '\n' | sort | xargs)" "lp $group"
install -d -o "$user" -g "$group" -m "$(key StateDirectoryMode)" "$state"
install -d -o "$user" -g "$group" -m "$(key RuntimeDirectoryMode)" "$run"
install -d -m 1777 "$tmp/private"  # PrivateTmp
eval "$(key ExecStartPre | sed 's/^+//')" || fail "ExecStartPre"
eval "$(key Environment | sed 's/^/export /')"
LISTEN='*' AUTH="$auth"
eval "set -- $(key ExecStart)"
setpriv --reuid="$user" --regid="$group" --groups="$groups" --no-new-privs --inh-caps=-all \
    env -i HOME="$(getent passwd "$user" | cut -d: -f6)" PATH=/usr/sbin:/usr/bin:/sbin:/bin TMPDIR="$tmp/private" "$@" \
    2> "$tmp/journal" &
server=$! servers+=("$server")
port=$(grep -o 'server-port=[0-9]*' <<< "$*" | cut -d= -f2)
wait_for 20 'alive /usr/bin/zaridiravid-app' || { fail "the unit's server"; cat "$tmp/journal" >&2; exit 1; }

listen "$tmp/printer" && web add label "127.0.0.1:$devport" ravi343 || { fail "Add Printer page"; exit 1; }
# Root's and an administrator's command line reach the service (not a
# server of their own); its TLS keys are made in its home.
expect "root's printers" "$(zaridiravid-app printers 2>&1)" label
expect "lpadmin's printers" "$(cd / && setpriv --reuid="$login" --regid=nogroup --init-groups env TMPDIR="$tmp" \
    zaridiravid-app printers 2>&1)" label
expect "https" "$(curl -sk -o /dev/null -w '%{http_code}' "https://localhost:$port/")" 200
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
dpkg --purge zaridiravid > /dev/null 2>&1 || fail "dpkg --purge"
[ ! -e "$state" ] && ! getent passwd "$user" > /dev/null || fail "purging left the service's state or user"
[ "$failures" -eq 0 ] || grep -v "\[Client" "$tmp/journal" | tail -20 >&2
[ "$failures" -eq 0 ]
