#!/bin/bash
# The Printer Application's server against the filter: each printer's
# loopback listener gets, byte for byte, what the filter writes for the same
# label (both rendered by Ghostscript) with the PPD options that the job's
# and the printer's settings stand for:
#   server_test.sh APP FILTER PPD_DIR
here=$(dirname "$0")
. "$here/../cups/lib.sh"
. "$here/lib.sh"
command -v gs > /dev/null || { echo "skipped: needs gs"; exit 77; }
filter=$(realpath "$2") ppds=$(realpath "$3")
scratch app-server
cleanup() { stop_servers; rm -rf "$tmp"; }
cd "$tmp" || exit 1
# PAPPL's sub-commands find a local server by the program's name, and
# `modify` reaches one only that way: a name of our own.
app=$tmp/zaridiravid-app-$$
ln -s "$(realpath "$1")" "$app"

# label NAME WIDTH HEIGHT DPI PAGES TYPE [COPIES]: PAGES test labels of WIDTH x
# HEIGHT points: rules, squares and diagonals drawn in the device's dots
# from 4 rows below the top left corner (Ghostscript's CUPS raster leaves out
# the top rows of a page whose height is no whole number of points). NAME.ras
# is the CUPS raster CUPS makes from the PPD for the filter, COPIES copies,
# NAME.doc the document for the app, TYPE black_1 or sgray_8 (PWG raster) or
# png (a 1-bit PNG).
label() {
    local p
    for ((p = 0; p < $5; p++)); do
        printf '%s\n' "<< /PageSize [$2 $3] >> setpagedevice [1 0 0 1 0 4] setmatrix" \
            "$((8 * p)) 40 4000 { 0 exch 4000 8 rectfill } for 2 setlinewidth" \
            "0 32 4000 { /x exch def 0 32 4000 { x exch 16 16 rectfill } for } for" \
            "0 37 8000 { 0 moveto -4000 4000 rlineto } for stroke showpage"
    done > "$1.ps"
    render "$1.ras" "$4" -sDEVICE=cups -dcupsColorSpace=3 -dcupsBitsPerColor=1 -dNumCopies="${7:-1}"
    case $6 in
    black_1) render "$1.doc" "$4" -sDEVICE=pwgraster -dcupsColorSpace=3 -dcupsBitsPerColor=1 ;;
    sgray_8) render "$1.doc" "$4" -sDEVICE=pwgraster -dcupsColorSpace=18 -dcupsBitsPerColor=8 ;;
    png) render "$1.doc" "$4" -sDEVICE=pngmono ;;
    esac
}
# render OUT DPI OPTION...: the label's PostScript through Ghostscript.
render() {
    gs -q -dNOPAUSE -dBATCH -dSAFER -r"$2" -sOutputFile="$1" "${@:3}" "${1%.*}.ps" > "$1.log" 2>&1 ||
        { fail "gs $1"; cat "$1.log" >&2; }
}
# want NAME MODEL [OPTIONS]: what the filter writes for NAME.ras with the
# model's PPD and the job options.
want() { PPD=$ppds/ravi$2.ppd "$filter" 1 u t 1 "${3-}" "$1.ras" > "$1.want" 2> /dev/null || fail "filter $1"; }

# printer NAME MODEL [SETTING...]: printer NAME of the model on a listener
# of its own that appends to NAME.prn, its settings set with `modify`.
printer() {
    listen "$1.prn" && add "$app" "$1" "ravi$2" || return 1
    [ $# -eq 2 ] || "$app" modify -d "$1" "${@:3}" || fail "modify $*"
}
# submit PRINTER DOC [OPTION...]: a job; what the printer's listener has so
# far is left out of what it got.
declare -A before
submit() {
    before[$1]=$(stat -c %s "$1.prn")
    "$app" submit -u "ipp://localhost:$port/ipp/print/$1" "${@:3}" "$2" > /dev/null || fail "submit to $1: $*"
}
# got PRINTER WANT: once the printer is idle with as many bytes as WANT
# holds, its listener got WANT's bytes; else where they part, and each one's
# first label job block.
got() {
    local out=$1.prn uri=ipp://localhost:$port/ipp/print/$1 size=$((before[$1] + $(stat -c %s "$2")))
    wait_for 30 '[ "$(stat -c %s "$out")" -ge "$size" ] && "$app" status -u "$uri" | grep -q "idle since"'
    tail -c +$((before[$1] + 1)) "$out" > "$1.got"
    cmp "$1.got" "$2" >&2 ||
        { fail "$1 got another stream than $2"; diff <(part "$1.got" 1 block) <(part "$2" 1 block) >&2; }
}

start_server "$app" "$tmp/server" || exit 1

# Each of the job's and the printer's settings gets to the label job block as
# the filter writes the PPD options they stand for (what each value means is
# app_test's table), the job's value before the printer's, 1-bit and grey
# pages alike; a new printer's defaults print what the PPD's defaults print.
label l 283.46 141.6 300 1 black_1 && want l 343
printer defaults 343 && submit defaults l.doc && got defaults l.want
label l 283.46 141.6 300 1 sgray_8 3
want l 343 "Heat=16 Speed=6 LabelSensor=LSR PrnHeadOffsetYDir=Minus PrnHeadOffsetYVK=2 PrnHeadOffsetYNK=5
    PrnHeadOffsetXVK=1 PrnHeadOffsetXNK=5 PrintMethod=False LabelGapVK=2 LabelGapNK=5 LabelMirrored=True BackFeed=BFS"
printer job 343 && submit job l.doc -o copies=3 -o print-darkness=30 -o print-speed=6in -o media-tracking=mark \
    -o media-top-offset=-2.5mm -o media-left-offset=1.5mm -o print-method=direct-thermal -o label-gap=250 \
    -o label-mirror=true -o backfeed=when-needed && got job l.want
label l 283.46 141.6 300 1 black_1 2
want l 343 "Cutter=True cCutterInterval=5 cCutterOffset1Dir=Minus cCutterOffset1VK=1 cCutterOffset1NK=5 Heat=14
    LabelRotate=True"
printer set 343 -o label-mode-configured=cutter -o cutter-interval=5 -o cutter-offset=-150 \
    -o printer-darkness-configured=70 -o print-method=direct-thermal -o label-rotate=true &&
    submit set l.doc -o copies=2 -o print-method=thermal-transfer && got set l.want

# Two printers of other models and settings printing at once each print
# their own settings, pages in order.
label w 288 432 300 3 sgray_8 && want w 383 "Cutter=True cCutterInterval=3"
label n 141.6 85 200 3 black_1 2 && want n 1322 "Heat=4 BackFeed=BFS"
printer wide 383 -o label-mode-configured=cutter -o cutter-interval=3
printer narrow 1322 -o printer-darkness-configured=20 -o backfeed=when-needed
submit wide w.doc -o media=na_index-4x6_4x6in && submit narrow n.doc -o copies=2
got wide w.want && got narrow n.want

# What a label printer's user meets: a PNG printed once with the copy count
# in the A line (a 1-bit PNG, which PAPPL hands on as levels 0 and 1); a
# letter page cut to the label; a device that answers only after the job
# was sent; the printers and their settings after a restart.
tear="TearOffMode=True LabelGapVK=5"
label p 283.46 141.6 300 1 png 4 && want p 343 "$tear"
label c 283.46 141.6 300 1 sgray_8 && want c 343 "$tear" && cp c.want tear.want && want c 343
label letter 612 792 300 1 sgray_8
printer label 343 -o label-mode-configured=tear-off -o label-gap=500
submit label p.doc -o copies=4 -o print-scaling=fit && got label p.want
submit label letter.doc && got label tear.want
late=$(free_port) devport=$late
: > late.prn && add "$app" late ravi343 && { submit late c.doc & } && before[late]=0
sleep 1.5 && listen late.prn "$late" && got late c.want

"$app" shutdown -u "ipp://localhost:$port" || fail "shutdown"
wait_for 5 '! kill -0 "$server" 2>/dev/null' || { kill -9 "$server" && wait "$server"; } 2>/dev/null
start_server "$app" "$tmp/server"
expect "printers" "$("$app" printers -u "ipp://localhost:$port" | sort | xargs)" "defaults job label late narrow set wide"
submit label c.doc && got label tear.want
[ "$failures" -eq 0 ]
