#!/bin/bash
# A driverless CUPS queue (lpadmin -m everywhere) on the Printer Application,
# in a real CUPS scheduler listening on a local socket with all its
# directories in a scratch one; the app prints to a loopback listener:
#   cups_everywhere_test.sh APP PREVIEW
here=$(dirname "$0")
. "$here/../cups/lib.sh"
. "$here/lib.sh"
[ "$(id -u)" -eq 0 ] || { echo "skipped: cupsd has to start as root"; exit 77; }
app=$(realpath "$1") preview=$(realpath "$2")
scratch app-cups
cleanup() { stop_cupsd; stop_servers; rm -rf "$tmp"; }

listen "$tmp/printer" && serve "$app" lab ravi343 || exit 1
start_cupsd

driverless_label "$app" "$preview" "$tmp/printer"
[ "$failures" -eq 0 ]
