#!/bin/bash
# Who may do what with the Printer Application (as root; else skipped). A
# device that is no printer is refused wherever it enters; another local
# user reaches neither the local socket nor, over loopback, administration,
# which root has on the socket; from another network namespace printing
# works (over TLS) and administration only after a PAM login of a member of
# the admin group:
#   security_test.sh APP
here=$(realpath "$(dirname "$0")")
. "$here/../cups/lib.sh"
. "$here/lib.sh"
own_network "$0" "$@"
command -v pnmtopng > /dev/null || { echo "skipped: needs netpbm"; exit 77; }
scratch app-security
peer=zaridiravid-peer$$
cleanup() { stop_servers; ip netns del "$peer" 2> /dev/null; rm -rf "$tmp"; }
own_app "$1"
own_login lpadmin
cd "$tmp" && chmod 755 "$tmp" || exit 1
sock=/run/${app##*/}/${app##*/}.sock local=ipp://${sock//\//%2F}
nobody=(setpriv --reuid=nobody --regid=nogroup --clear-groups)

# ipp WHO URI OPERATION [ATTR...]: the status of OPERATION with the ipptool
# ATTR lines on URI (a printer's or .../ipp/system), sent by WHO: root,
# nobody or peer (root in the other namespace).
ipp() {
    local run=() target=printer-uri
    case $1 in nobody) run=("${nobody[@]}") ;; peer) run=(ip netns exec "$peer") ;; esac
    [[ $2 != */ipp/system ]] || target=system-uri
    printf '%s\n' "{ OPERATION $3 GROUP operation-attributes-tag ATTR charset attributes-charset utf-8" \
        "ATTR naturalLanguage attributes-natural-language en ATTR uri $target \$uri ${*:4} }" > op.test
    "${run[@]}" timeout 60 ipptool -T 20 -tv "$2" op.test 2>&1 | grep -om1 'status-code = [a-z-]*' | cut -d' ' -f3
}
create() {
    echo "ATTR keyword printer-service-type print ATTR keyword smi55357-driver ravi343 ATTR uri smi55357-device-uri $2
          GROUP printer-attributes-tag ATTR name printer-name $1"
}
pbmmake -g 384 200 | pnmtopng > doc.png && : > target && chmod 600 target

# On localhost with no login: others than root and the admin group can't
# reach the socket, nor administer over loopback, nor add a printer writing
# to a file; root can do everything on the socket but that.
start_server "$app" "$tmp/local" && listen shop.prn && add "$app" shop ravi343 || exit 1
expect "nobody's add of a file" "$("${nobody[@]}" "$app" add -d evil -v "file://$tmp/target" -m ravi343 2>&1)" \
    "zaridiravid-app: Refused device of scheme file: only socket, usb, dnssd and snmp devices are printers."
expect "nobody on the socket" "$("${nobody[@]}" perl -MIO::Socket::UNIX -e \
    'IO::Socket::UNIX->new(Peer => $ARGV[0]) or print "$!"' "$sock")" "Permission denied"
shop=ipp://localhost:$port/ipp/print/shop system=ipp://localhost:$port/ipp/system
for op in Pause-Printer Disable-Printer \
    "Set-Printer-Attributes GROUP printer-attributes-tag ATTR integer printer-darkness-configured 1"; do
    expect "nobody's $op" "$(ipp nobody "$shop" $op)" client-error-forbidden
done
for op in Shutdown-All-Printers "Delete-Printer ATTR integer printer-id 1"; do
    expect "nobody's $op" "$(ipp nobody "$system" $op)" client-error-forbidden
done
expect "nobody's Create-Printer" "$(ipp nobody "$system" Create-Printer $(create evil "file://$tmp/target"))" \
    client-error-forbidden
expect "root's Create-Printer of a file" "$(ipp root "$local/ipp/system" Create-Printer $(create evil "file://$tmp/target"))" \
    client-error-attributes-or-values-not-supported
grep -q "Printer not set up: Refused device of scheme file:" "$tmp/local/log" || fail "no log line naming file:"
for op in Pause-Printer Resume-Printer Disable-Printer Enable-Printer; do
    expect "root's $op on the socket" "$(ipp root "$local/ipp/print/shop" $op)" successful-ok
done
expect "nobody's Get-Printer-Attributes" "$(ipp nobody "$shop" Get-Printer-Attributes)" successful-ok
expect "the web's Add Printer without a login" "$(curl -s "http://localhost:$port/addprinter" |
    grep -o 'Administrators only')" "Administrators only"
expect "the web's delete page" "$(curl -s -o /dev/null -w '%{http_code}' "http://localhost:$port/shop/delete")" 403
"$app" modify -d shop -o printer-darkness-configured=20 || fail "root's modify"
expect "root's Delete-Printer" "$(ipp root "$local/ipp/system" Delete-Printer ATTR integer printer-id 1)" successful-ok
expect "printers" "$("$app" printers)" ""
"$app" add -d kept -v "socket://127.0.0.1:$devport" -m ravi343 && "$app" shutdown && wait "$server" ||
    fail "root's add, shutdown"

# A printer of the state file on a file device is left out, and said so.
sed -i "s|uri=\"socket://127.0.0.1:$devport\"|uri=\"file://$tmp/target\"|" "$tmp/local/state"
: > "$tmp/local/log"
start_server "$app" "$tmp/local"
expect "printers kept" "$("$app" printers)" ""
grep -q "Printer not set up: Refused device of scheme file:" "$tmp/local/log" || fail "no log line of the state's file:"
[ ! -s target ] || fail "a file device of the state was written"
"$app" shutdown && wait "$server" || fail "root's shutdown"

# Listening everywhere with a login, seen from a second network namespace:
# printing accepted (plain IPP upgraded to TLS) and printed as from
# loopback; no administration without a login, over TLS alone, refused with
# a wrong password; a login of the admin group adds a printer on the page.
ip netns add "$peer" && ip link add "zs$$" type veth peer name "zp$$" netns "$peer" &&
    ip addr add 198.51.100.1/24 dev "zs$$" && ip link set "zs$$" up &&
    ip -n "$peer" addr add 198.51.100.2/24 dev "zp$$" && ip -n "$peer" link set "zp$$" up || { fail "veth"; exit 1; }
rm shop.prn
start_server "$app" "$tmp/net" -o listen-hostname='*' $auth && listen shop.prn && add "$app" shop ravi343 || exit 1
far=198.51.100.1:$port
submit shop doc.png
wait_for 30 '[ -s shop.prn ] && "$app" status -u "$uri" | grep -q "idle since"' || fail "the job over loopback"
cp shop.prn loopback.prn && before[shop]=$(stat -c %s shop.prn)
ip netns exec "$peer" "$app" submit -u "ipp://$far/ipp/print/shop" doc.png > /dev/null || fail "the peer's job"
got shop loopback.prn
page() { ip netns exec "$peer" curl -sk -o page -w '%{http_code}' "$@"; }
expect "plain HTTP from the peer" "$(ip netns exec "$peer" curl -s -o /dev/null -w '%{http_code} %{redirect_url}' \
    "http://$far/addprinter")" "301 https://$far/addprinter"
expect "Add Printer over TLS without a login" "$(page "https://$far/addprinter")" 401
expect "Add Printer with a wrong password" "$(page -u "$login:x$password" "https://$far/addprinter")" 401
expect "Pause-Printer from the peer" "$(ipp peer "ipps://$far/ipp/print/shop" Pause-Printer)" \
    client-error-not-authenticated
expect "Add Printer with the login" "$(page -u "$login:$password" "https://$far/addprinter")" 200
key=$(grep -o 'name="session" value="[^"]*"' page | cut -d'"' -f4)
expect "the form sent" "$(page -u "$login:$password" -d "session=$key" -d printer_name=far -d device_uri=socket \
    -d "hostname=127.0.0.1:$devport" -d driver_name=ravi343 "https://$far/addprinter")" 302
page -u "$login:$password" -d "session=$key" -d printer_name=evil -d "device_uri=file://$tmp/target|" \
    -d driver_name=ravi343 "https://$far/addprinter" > /dev/null
expect "the page's word on a file" "$(grep -o 'Refused device of scheme file:' page)" "Refused device of scheme file:"
expect "printers" "$("$app" printers | sort | xargs)" "far shop"
[ ! -s target ] || fail "a file device was written"
[ "$failures" -eq 0 ] || grep -v '^D' "$tmp/net/log" | tail -30 >&2
[ "$failures" -eq 0 ]
