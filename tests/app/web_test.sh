#!/bin/bash
# The Printer Application's web pages in a real browser (headless Chromium),
# used as a person would: a printer added on the Add Printer page, its
# settings changed on its three pages, logged in as a member of the admin
# group (over loopback). The pages name the settings as the
# PPDs do, and the next job's bytes are what the filter writes with the PPD
# options those settings stand for. Screenshots of the pages go to SHOTS:
#   web_test.sh APP FILTER PPD_DIR SHOTS
here=$(realpath "$(dirname "$0")")
. "$here/../cups/lib.sh"
. "$here/lib.sh"
own_network "$0" "$@"
needs_browser
command -v gs > /dev/null || { echo "skipped: needs gs"; exit 77; }
filter=$(realpath "$2") ppds=$(realpath "$3")
mkdir -p "$4" && shots=$(realpath "$4")
scratch app-web
cleanup() { stop_servers; rm -rf "$tmp"; }
own_app "$1"
own_login lpadmin
cd "$tmp" || exit 1

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
for row in "Print Method: Direct thermal (no ribbon)" "Gap Between Labels (1/100 mm): 250" "Mirror Image: on" \
    "Back-Feed: Smart (only when needed)" "Cut After Every N Labels: 5" "Cut Position Offset (1/100 mm): -150" \
    "Label Mode: Cut after every N labels"; do
    grep -qxF "$row" rows || fail "no row [$row] on the pages"
done

label l 283.46 141.6 300 1 black_1
want l 343 "Heat=14 Speed=6 LabelSensor=LSR PrnHeadOffsetYDir=Minus PrnHeadOffsetYVK=2 PrnHeadOffsetYNK=5
    PrnHeadOffsetXVK=1 PrnHeadOffsetXNK=5 PrintMethod=False LabelGapVK=2 LabelGapNK=5 LabelMirrored=True BackFeed=BFS
    Cutter=True cCutterInterval=5 cCutterOffset1Dir=Minus cCutterOffset1VK=1 cCutterOffset1NK=5"
submit shop l.doc && got shop l.want
[ "$failures" -eq 0 ] || cat rows >&2
[ "$failures" -eq 0 ]
