#!/bin/bash
# The Printer Application's web pages in a real browser (headless Chromium),
# used as a person would: a printer added on the Add Printer page, its
# settings changed on its three pages, logged in as a member of the admin
# group (over loopback); the pages name the settings as the PPDs do and show
# them as saved; its test label printed. (What the printer's settings print:
# server_test.sh.) Screenshots of the pages go to SHOTS:
#   web_test.sh APP SHOTS
here=$(realpath "$(dirname "$0")")
. "$here/../cups/lib.sh"
. "$here/lib.sh"
own_network "$0" "$@"
needs_browser
mkdir -p "$2" && shots=$(realpath "$2")
app_scratch web "$1"
own_login lpadmin

start_server "$app" "$tmp/server" $auth && listen shop.prn || exit 1
web add shop "127.0.0.1:$devport" ravi343 || fail "Add Printer page"
web add bad 127.0.0.1:65536 ravi343 2>&1 | grep -q "address as host or host:port" || fail "Add Printer took a bad port"
expect "printers" "$("$app" printers -u "ipp://localhost:$port")" shop

web set shop/printing "$shots/printing-defaults.png" print-darkness=70 print-speed=6 print-method=direct-thermal \
    label-gap=250 label-mirror=true backfeed=when-needed cutter-interval=5 cutter-offset=-150 > rows ||
    fail "Printing Defaults page"
web set shop/media "$shots/media.png" ready0-tracking=mark ready0-top-offset=-2.5 ready0-left-offset=1.5 >> rows ||
    fail "Media page"
web set shop/labels "$shots/label-handling.png" label-mode-configured=cutter >> rows || fail "Label Handling page"
for row in "Print Darkness: 70%" "Print Speed: 6 inches/sec" "Print Method: Direct thermal (no ribbon)" \
    "Gap Between Labels (1/100 mm): 250" "Mirror Image: on" "Back-Feed: Smart (only when needed)" \
    "Cut After Every N Labels: 5" "Cut Position Offset (1/100 mm): -150" "Label Mode: Cut after every N labels" \
    "Main roll Media: 100 x 50mm 100.00 50.00 mm off 1.5 -2.5 Mark Labels"; do
    grep -qxF "$row" rows || fail "no row [$row] on the pages"
done
# Print Test Page: the test label reaches the printer as a whole label.
before[shop]=$(stat -c %s shop.prn)
expect "Print Test Page" "$(web press shop "Print Test Page")" "Test page printed."
next_label shop
[ "$failures" -eq 0 ] || cat rows >&2
[ "$failures" -eq 0 ]
