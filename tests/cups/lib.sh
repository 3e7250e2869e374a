# Shared pieces of the CUPS tests (bash, sourced).
set -u
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
# expect WHAT ACTUAL EXPECTED
expect() { [ "$2" = "$3" ] || fail "$1: got [$2], expected [$3]"; }
cupsbin=$(cups-config --serverbin 2>/dev/null || echo /usr/lib/cups)

# scratch NAME: $tmp, a directory under /tmp that user lp (who runs CUPS's
# filters) may enter, removed by `cleanup` at exit.
scratch() {
    tmp=$(mktemp -d "/tmp/zaridiravid-$1.XXXXXX") && chmod 0755 "$tmp"
    trap cleanup EXIT
    trap 'exit 1' INT TERM
}
cleanup() { rm -rf "$tmp"; }

# wait_for SECONDS CONDITION: evaluates the condition every 0.1 s until it holds.
wait_for() {
    local n
    for ((n = $1 * 10; n > 0; n--)); do eval "$2" && return; sleep 0.1; done
    return 1
}

# start_cupsd [LINE...]: a CUPS scheduler ($cupsd) listening on the socket
# $host, with all its directories in $tmp, its log $log, and the LINEs
# added to its cups-files.conf; stop_cupsd ends it.
start_cupsd() {
    mkdir -p "$tmp"/{root,spool,cache,state,log}
    printf '%s\n' "ServerRoot $tmp/root" "RequestRoot $tmp/spool" "CacheDir $tmp/cache" "StateDir $tmp/state" \
        "ErrorLog $tmp/log/error_log" "AccessLog $tmp/log/access_log" "PageLog $tmp/log/page_log" \
        "Printcap $tmp/printcap" "$@" > "$tmp/cups-files.conf"
    host=$tmp/socket log=$tmp/log/error_log
    printf '%s\n' "Listen $host" "LogLevel debug" "Browsing No" "WebInterface No" \
        "<Policy default>" "<Limit All>" "Allow all" "</Limit>" "</Policy>" > "$tmp/cupsd.conf"
    cupsd -f -c "$tmp/cupsd.conf" -s "$tmp/cups-files.conf" &
    cupsd=$!
    wait_for 10 'lpstat -h "$host" -r 2>/dev/null | grep -q "is running"' || { fail scheduler; tail "$log" >&2; exit 1; }
}
stop_cupsd() { [ -z "${cupsd-}" ] || { kill "$cupsd"; wait_for 5 '! kill -0 "$cupsd"' || kill -9 "$cupsd"; } 2>/dev/null; }

# print_job QUEUE LP-ARGUMENT...: a job printed on the scheduler's queue, waited
# for; the test ends when it does not complete.
print_job() {
    local id job
    id=$(timeout 30 lp -h "$host" -d "$@" | grep -o "$1-[0-9]*")
    job="\[Job ${id#"$1"-}\]"
    wait_for 120 '[ -z "$id" ] || grep -qE "$job (Job (completed|stopped|aborted|canceled)|Stopping job|Aborting job)" "$log"'
    grep -q "$job Job completed" "$log" || { fail "job [$id]"; grep -v ^D "$log" | tail -20 >&2; exit 1; }
}

# serverbin DIR FILTER: CUPS's program directories, with our filter added to its filters.
serverbin() {
    mkdir -p "$1/filter"
    ln -s "$cupsbin"/filter/* "$1/filter/"
    install -m 0755 "$2" "$1/filter/zaridiravid"
    for d in "$cupsbin"/*; do [ "$(basename "$d")" = filter ] || ln -s "$d" "$1/"; done
}

# test_pdf OUT: two pages of 100 x 50 mm, black in the top left quarter of
# page 1 and in the bottom right quarter of page 2.
test_pdf() {
    printf '%s\n' '%!PS' '<< /PageSize [283.46 141.73] >> setpagedevice' \
        '0 70.865 141.73 70.865 rectfill showpage' '141.73 0 141.73 70.865 rectfill showpage' | ps2pdf - "$1"
}

# part FILE N image|block: page N's IMG image, or its label job block without
# the CRs. Each page is "e img;*\r", "d IMG;cups\r", ESC ":", the image, ESC
# "end-of-data" and the block.
part() {
    N=$2 PART=$3 perl -0777 -ne '@p = /d IMG;cups\r\e:(.*?)\eend-of-data(.*?)(?=e img;\*\r|\z)/sg;
        $_ = $p[2 * $ENV{N} - ($ENV{PART} eq "image" ? 2 : 1)] // ""; tr/\r//d if $ENV{PART} eq "block"; print' "$1"
}

# shade PBM LEFT TOP WIDTH HEIGHT: B if that part of the image is black, W if
# white, else ?.
shade() {
    pamcut -left "$2" -top "$3" -width "$4" -height "$5" "$1" | pamsumm -mean -brief |
        awk '{ print ($1 < 0.01 ? "B" : $1 > 0.99 ? "W" : "?") }'
}

# check_pages FILE BLOCK: the test PDF's two pages, each with the label job
# block BLOCK and an image that netpbm's gemtopnm reads as model 343's default
# 100 x 50 mm label (1181 dots sent as 148 bytes a row, 591 rows), its top left
# and bottom right quarters (10 dots in from their edges) B black or W white.
check_pages() {
    local n at look shades=(BW WB)
    expect "pages" "$(perl -0777 -ne 'print scalar(() = /d IMG;cups\r\e:/g)' "$1")" 2
    for n in 1 2; do
        expect "page $n block" "$(part "$1" $n block)" "$2"
        part "$1" $n image | gemtopnm > "$tmp/page.pbm"
        look="$(pamfile -size "$tmp/page.pbm") "
        for at in 0 1; do
            look+=$(shade "$tmp/page.pbm" $((at * 592 + 10)) $((at * 295 + 10)) 572 275)
        done
        expect "page $n" "$look" "1184 591 ${shades[n - 1]}"
    done
}
