#!/bin/sh
# Runs the built filter under valgrind's memcheck on rasters that take the
# job loop down each of its roads:
#
#   scripts/memcheck.sh [BUILD_DIR]     (default build, as scripts/test.sh leaves it)
#
# Every run must end with no memcheck error: no read of an uninitialised or
# freed byte, and no uninitialised byte written to the printer (memcheck
# checks the buffers of the write calls). Its printer stream must hold the
# pages expected, each a whole page by zaridiravid-preview's reading, and
# must be byte for byte what the same run gives without valgrind. The
# sanitizer build (scripts/sanitize.sh) can't be used here: valgrind and the
# address sanitizer don't run together. On a failure the rasters and logs
# are kept and their directory is named.
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" --target zaridiravid zaridiravid-preview >/dev/null
filter=$build/zaridiravid
preview=$build/preview/zaridiravid-preview
label_ppd=$PWD/fuzz/label.ppd        # cutter and peel-off on: every line of the job block
plain_ppd=$PWD/tests/settings/ppd/base.ppd

# Raster streams in CUPS's uncompressed format: "RaS3", then per page the
# 1796-byte page header (numbers high byte first, as the sync word's byte
# order says) and the rows.
u32() {
    printf "$(printf '\\%03o\\%03o\\%03o\\%03o' $(($1 >> 24 & 255)) $(($1 >> 16 & 255)) $(($1 >> 8 & 255)) \
        $(($1 & 255)))"
}
page() {  # WIDTH HEIGHT BITS COPIES ROWS: a header and its rows, random, blank or all one octal byte
    bpl=$((($1 * $3 + 7) / 8))
    head -c 256 /dev/zero  # media class, colour, type, output type
    # AdvanceDistance .. Tumble (300 dpi, the copies, the page size in
    # points), cupsWidth .. cupsRowStep (1 colour, black: cupsColorSpace 3).
    for v in 0 0 0 0 0 300 300 0 0 0 0 0 0 0 0 0 0 0 0 0 0 "$4" 0 0 $(($1 * 72 / 300)) $(($2 * 72 / 300)) 0 0 0 \
        "$1" "$2" 0 "$3" "$3" "$bpl" 0 3 0 0 0 0; do u32 "$v"; done
    head -c 1376 /dev/zero
    case $5 in
        random) head -c $(($2 * bpl)) /dev/urandom ;;
        blank) head -c $(($2 * bpl)) /dev/zero ;;
        *) head -c $(($2 * bpl)) /dev/zero | tr '\000' "\\$5" ;;
    esac
}

tmp=$(mktemp -d "${TMPDIR:-/tmp}/memcheck.XXXXXX")
pid=
failures=0
cleanup() {
    if [ -n "$pid" ]; then kill -KILL "$pid" 2>/dev/null || true; fi
    if [ "$failures" -eq 0 ]; then rm -rf "$tmp"; else echo "memcheck: rasters and logs kept in $tmp"; fi
}
trap cleanup EXIT
memcheck="valgrind --error-exitcode=1 --track-origins=yes"

fail() {
    echo "FAIL $1: $2"
    failures=$((failures + 1))
}

passed() {  # NAME FAILURES_BEFORE
    [ "$failures" -ne "$2" ] || echo "ok $1"
}

# The stream must be whole pages, as many as expected.
check_stream() {  # NAME OUT PAGES
    if ! "$preview" --text "$2" > "$tmp/$1.text" 2>&1; then
        fail "$1" "malformed printer stream: $(tail -1 "$tmp/$1.text")"
    elif ! head -1 "$tmp/$1.text" | grep -q ", $3 pages\? read$"; then
        fail "$1" "expected $3 pages: $(head -1 "$tmp/$1.text")"
    fi
}

check_memcheck() {  # NAME STATUS
    if [ "$2" -ne 0 ] || ! grep -q "ERROR SUMMARY: 0 errors" "$tmp/$1.vg"; then
        fail "$1" "exit status $2, memcheck says:"
        grep -vE 'Memcheck, a memory|Copyright|Using Valgrind|Command:|Parent PID' "$tmp/$1.vg" | head -40
    fi
}

# run NAME PPD OPTIONS RASTER PAGES: the filter on a raster file; PPD "-"
# runs it without one.
run() {
    name=$1 ppd=$2 options=$3 raster=$4 pages=$5 before=$failures
    if [ "$ppd" = - ]; then set -- env -u PPD; else set -- env PPD="$ppd"; fi
    status=0
    timeout 300 "$@" $memcheck --log-file="$tmp/$name.vg" "$filter" 1 user title 1 "$options" "$raster" \
        > "$tmp/$name.out" 2> "$tmp/$name.err" || status=$?
    check_memcheck "$name" "$status"
    "$@" "$filter" 1 user title 1 "$options" "$raster" > "$tmp/$name.native" 2>/dev/null || true
    cmp -s "$tmp/$name.out" "$tmp/$name.native" || fail "$name" "output differs from the run without valgrind"
    check_stream "$name" "$tmp/$name.out" "$pages"
    passed "$name" "$before"
}

{ printf RaS3; page 832 600 1 1 random; page 832 600 1 3 random; page 832 600 1 0 blank; } > "$tmp/three.ras"
run three_pages "$label_ppd" "" "$tmp/three.ras" 3

# 100 pixels: 13 bytes a row, so each row is stored with a pad byte that
# nothing may read.
{ printf RaS3; page 100 57 1 1 random; page 100 57 1 2 252; } > "$tmp/odd.ras"
run odd_bytes_per_line "$label_ppd" "" "$tmp/odd.ras" 2
{ printf RaS3; page 4 1 1 1 random; } > "$tmp/narrow.ras"
run one_byte_one_row "$label_ppd" "" "$tmp/narrow.ras" 1

# The second page loses its last 3000 bytes: its missing rows are blank.
{ printf RaS3; page 400 300 1 1 random; page 400 300 1 1 random; } > "$tmp/cut.ras"
head -c $(($(wc -c < "$tmp/cut.ras") - 3000)) "$tmp/cut.ras" > "$tmp/cut_short.ras"
run cut_mid_page "$label_ppd" "" "$tmp/cut_short.ras" 2

# A page of 8 bits per pixel ends the job after the page before it.
{ printf RaS3; page 64 20 1 1 random; page 64 20 8 1 random; page 64 20 1 1 random; } > "$tmp/grey.ras"
run refused_second_page "$label_ppd" "" "$tmp/grey.ras" 1

run job_options "$plain_ppd" "Cutter=True cCutterMode=CMOD2E PeelOff=True Heat=12 LabelSensor=LSX" \
    "$tmp/odd.ras" 2
run without_ppd - "" "$tmp/narrow.ras" 1

# Cancelled: the raster comes through a pipe; once the filter has read 500
# rows of the first page and waits for more, SIGTERM arrives. That page is
# finished (its unread rows blank) and the second one never starts.
{ printf RaS3; page 832 2000 1 1 random; page 832 2000 1 1 random; } > "$tmp/big.ras"
part=$((4 + 1796 + 500 * 104))
before=$failures
mkfifo "$tmp/pipe"
PPD=$label_ppd timeout 300 $memcheck --log-file="$tmp/cancelled_by_sigterm.vg" "$filter" 1 user title 1 "" \
    < "$tmp/pipe" > "$tmp/cancelled_by_sigterm.out" 2> "$tmp/cancelled_by_sigterm.err" &
pid=$!
exec 3> "$tmp/pipe"
head -c $part "$tmp/big.ras" >&3
waited=0
until grep -q "^PAGE: 1 1" "$tmp/cancelled_by_sigterm.err"; do
    sleep 1
    waited=$((waited + 1))
    [ $waited -lt 120 ] || break
done
sleep 2  # the image header is out and the filter waits for rows
kill -TERM "$pid"
# The rest, until the filter stops reading and exits.
tail -c +$((part + 1)) "$tmp/big.ras" >&3 2>/dev/null || true
exec 3>&-
status=0
wait "$pid" || status=$?
pid=
check_memcheck cancelled_by_sigterm "$status"
grep -q "^DEBUG: zel - Job cancelled \.\.\. $" "$tmp/cancelled_by_sigterm.err" || fail cancelled_by_sigterm "no cancel message"
check_stream cancelled_by_sigterm "$tmp/cancelled_by_sigterm.out" 1
passed cancelled_by_sigterm "$before"

if [ "$failures" -ne 0 ]; then
    echo "memcheck: $failures failures"
    exit 1
fi
echo "memcheck: all runs clean"
