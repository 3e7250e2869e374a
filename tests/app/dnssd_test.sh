#!/bin/bash
# What a phone on the label network finds by DNS-SD: a server listening
# beyond loopback announces each printer the moment `add` makes it, with the
# TXT record its IPP attributes give, and nothing else; renamed or moved,
# the announcement follows; `delete` withdraws it; the ids stay the printers' own across a restart; a server on loopback
# only announces nothing. A private system bus and avahi-daemon serve a veth
# link into a second namespace, 192.0.2.0/24 on both ends:
#   dnssd_test.sh APP
here=$(dirname "$0")
. "$here/../cups/lib.sh"
. "$here/lib.sh"
for need in avahi-daemon avahi-browse dbus-daemon ipptool curl; do
    command -v "$need" > /dev/null || { echo "skipped: needs $need"; exit 77; }
done
own_network "$0" "$@"
scratch app-dnssd
cleanup() { stop_servers; kill "$peer" $(cat /run/avahi-daemon/pid /run/dbus/pid 2> /dev/null) 2> /dev/null; rm -rf "$tmp"; }
own_app "$1"

mount -t tmpfs tmpfs /run && mkdir /run/dbus /run/avahi-daemon || exit 1
unshare --net sleep 1000 &
peer=$!
ip link add zd0 type veth peer name zd1 && ip link set zd1 netns "$peer" && ip addr add 192.0.2.1/24 dev zd0 &&
    ip link set zd0 up && nsenter -t "$peer" -n sh -c 'ip addr add 192.0.2.2/24 dev zd1 && ip link set zd1 up' || exit 1
printf '%s\n' '[server]' 'use-ipv6=no' 'allow-interfaces=zd0' '[publish]' 'publish-workstation=no' > "$tmp/avahi.conf"
dbus-daemon --system --fork && avahi-daemon -f "$tmp/avahi.conf" --no-chroot --no-drop-root --no-rlimits -D &&
    wait_for 10 'avahi-browse -at > /dev/null 2>&1' || { fail "dbus-daemon or avahi-daemon"; exit 1; }

# browse: the services announced, "TYPE NAME TXT" a line.
browse() { avahi-browse -artpk | awk -F';' '$1 == "=" && $5 ~ /^_ipps?._tcp$/ { print $5, $4, $10 }' | sort -u; }
names() { browse | cut -d' ' -f2 | LC_ALL=C sort -u | paste -sd' '; }
# attr PRINTER NAME: the printer's attribute, values joined by commas.
attr() {
    ipptool -tv "ipp://localhost:$port/ipp/print/$1" get-printer-attributes.test |
        sed -n "s/^        $2 ([^)]*) = //p"
}

start_server "$app" "$tmp/server" -o listen-hostname='*' && listen "$tmp/prn" || exit 1
for p in shop back; do "$app" add -d "$p" -v "socket://127.0.0.1:$devport" -m ravi343 || fail "add $p"; done
wait_for 10 '[ "$(names)" = "back shop" ]' || fail "not announced: $(browse)"
host=$(avahi-browse -rtpk _ipp._tcp | awk -F';' '$1 == "=" { print $7; exit }')
ipptool -q "ipps://localhost:$port/ipp/print/shop" get-printer-attributes.test 2> /dev/null && tls=1 || tls=
for p in shop back; do
    uuid=$(attr "$p" printer-uuid)
    txt="\"txtvers=1\" \"qtotal=1\" \"rp=ipp/print/$p\" \"ty=$(attr "$p" printer-make-and-model)\""
    txt+=" \"adminurl=http${tls:+s}://$host:$port/$p/\" \"note=\" \"pdl=image/pwg-raster,image/urf,image/jpeg,image/png\""
    txt+=" \"kind=label,roll\" \"UUID=${uuid#urn:uuid:}\" \"URF=$(attr "$p" urf-supported)\" \"Color=F\" \"Duplex=F\""
    [ -z "$tls" ] || txt+=' "TLS=1.2"'
    want+=("_ipp._tcp $p $txt")
    [ -z "$tls" ] || want+=("_ipps._tcp $p $txt")
done
expect "announcements" "$(browse)" "$(printf '%s\n' "${want[@]}" | sort)"
expect "all the server announces" "$(avahi-browse -atpk | cut -d';' -f4,5 | sort)" \
    "$(printf '%s\n' "back;_ipp._tcp" "shop;_ipp._tcp" ${tls:+"back;_ipps._tcp" "shop;_ipps._tcp"} | sort)"

# Renamed and moved on its web page (through the local socket), a printer's
# announcement follows.
web=(curl -s --unix-socket "$own_run/${app##*/}.sock" -b "$tmp/jar" -c "$tmp/jar")
session=$("${web[@]}" http://localhost/back/config | sed -n 's/.*name="session" value="\([^"]*\)".*/\1/p')
"${web[@]}" -o /dev/null --data-urlencode "session=$session" --data-urlencode "dns_sd_name=Back Room" \
    --data-urlencode "location=Dock 9" http://localhost/back/config
wait_for 10 '[ "$(names)" = "Back\\032Room shop" ] && browse | grep -q "\"note=Dock 9\""' || fail "renamed: $(browse)"

# Ids: each printer's own from the start, never one of a deleted printer,
# the same after a restart.
expect "ids" "$(attr shop printer-id) $(attr back printer-id)" "1 2"
"$app" delete -d back || fail "delete back"
wait_for 10 '[ "$(names)" = shop ]' || fail "not withdrawn: $(browse)"
"$app" add -d front -v "socket://127.0.0.1:$devport" -m ravi343 || fail "add front"
stop_servers
start_server "$app" "$tmp/server" -o listen-hostname='*' || exit 1
expect "ids after a restart" "$(attr shop printer-id) $(attr front printer-id)" "1 3"
wait_for 10 '[ "$(names)" = "front shop" ]' || fail "not announced again: $(browse)"

# On loopback only, nothing is announced.
stop_servers
start_server "$app" "$tmp/local" && listen "$tmp/prn" && "$app" add -d desk -v "socket://127.0.0.1:$devport" -m ravi343
sleep 3
expect "announced on loopback" "$(browse)" ""
exit $((failures > 0))
