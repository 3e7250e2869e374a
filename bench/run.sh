#!/bin/sh
# Whole-filter benchmark: our filter against the floor (a program that only
# reads the raster with libcups) and CUPS's own label filter, on one
# multi-page raster that CUPS rendered from real PDFs at several label sizes
# and resolutions.
#
#   bench/run.sh [runs]        (default 7 interleaved runs of each)
#
# With BENCH_WORK=DIR the raster and the callgrind profiles stay in DIR.
# Prints the median wall and CPU time, callgrind instruction counts, peak
# memory, and the ratios. Needs the packages of scripts/deps.sh and `time`.
set -eu
cd "$(dirname "$0")/.."
runs=${1:-7}
build=build-bench
if [ -n "${BENCH_WORK:-}" ]; then  # keep the raster and profiles there
    work=$BENCH_WORK
    mkdir -p "$work"
else
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
fi

command -v /usr/bin/time >/dev/null || { echo "bench: needs GNU time (apt-get install time)" >&2; exit 1; }
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DZARIDIRAVID_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target zaridiravid raster_floor raster_join >/dev/null

# The raster: each PDF at each label size and resolution, joined and repeated.
pdfs="/usr/share/cups/data/default-testpage.pdf /usr/share/cups/data/form_english.pdf"
[ -f samples/shipping-label.pdf ] && pdfs="$pdfs samples/shipping-label.pdf"
parts=""
for setting in 200:w288h432:288:432 300:w288h432:288:432 300:w144h72:144:72 600:w283h425:283:425; do
    IFS=: read dpi size w h <<END
$setting
END
    sed -e "s/@DPI@/$dpi/g" -e "s/@SIZE@/$size/g" -e "s/@W@/$w/g" -e "s/@H@/$h/g" bench/label.ppd.in >"$work/$dpi-$size.ppd"
    for pdf in $pdfs; do
        out="$work/$(basename "$pdf" .pdf)-$dpi-$size.ras"
        cupsfilter -p "$work/$dpi-$size.ppd" -m application/vnd.cups-raster "$pdf" >"$out" 2>/dev/null
        parts="$parts $out"
    done
done
# shellcheck disable=SC2086
"$build/bench/raster_join" "$work/job.ras" 40 $parts 2>/dev/null
bytes=$("$build/bench/raster_floor" "$work/job.ras" 2>&1 | sed -n 's/.* pages, \([0-9]*\) bytes.*/\1/p')
pages=$("$build/bench/raster_floor" "$work/job.ras" 2>&1 | sed -n 's/DEBUG: \([0-9]*\) pages.*/\1/p')
largest=0
for p in $parts; do
    b=$("$build/bench/raster_floor" "$p" 2>&1 | sed -n 's/.* pages, \([0-9]*\) bytes.*/\1/p')
    n=$("$build/bench/raster_floor" "$p" 2>&1 | sed -n 's/DEBUG: \([0-9]*\) pages.*/\1/p')
    [ $((b / n)) -gt "$largest" ] && largest=$((b / n))
done

# CUPS's label filter with the sample driver's label PPD for its page
# description language (the one with model number 18).
ppdc -d "$work/sample" /usr/share/cups/drv/sample.drv 2>/dev/null
other_ppd=$(grep -l '^\*cupsModelNumber: 18$' "$work"/sample/*.ppd | head -n 1)
other=$(cups-config --serverbin)/filter/rastertolabel

# Each program by name: its environment, then its command line.
envs() {
    case $1 in
    ours) echo "env -u PPD" ;;
    floor) echo "env" ;;
    theirs) echo "env PPD=$other_ppd" ;;
    esac
}
cmd() {
    case $1 in
    ours) echo "$build/zaridiravid" 1 bench bench 1 "''" "$work/job.ras" ;;
    floor) echo "$build/bench/raster_floor" "$work/job.ras" ;;
    theirs) echo "$other" 1 bench bench 1 "''" "$work/job.ras" ;;
    esac
}

# Interleaved timed runs: wall, user + system time and peak memory.
: >"$work/times"
for i in $(seq "$runs"); do
    for f in ours floor theirs; do
        eval "$(envs $f) /usr/bin/time -f '$f %e %U %S %M' -a -o '$work/times' $(cmd $f)" >/dev/null 2>&1
    done
done
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
wall() { awk -v f="$1" '$1==f {print $2}' "$work/times" | median; }
cpu() { awk -v f="$1" '$1==f {print $3+$4}' "$work/times" | median; }
mem() { awk -v f="$1" '$1==f {print $5}' "$work/times" | median; }

# Instruction counts repeat exactly, whatever else the machine is doing.
instr() {
    eval "$(envs $1) valgrind --tool=callgrind --callgrind-out-file='$work/cg.$1' $(cmd $1)" >/dev/null 2>&1
    awk '/^(summary|totals):/ {print $2; exit}' "$work/cg.$1"
}
i_ours=$(instr ours)
i_floor=$(instr floor)
i_theirs=$(instr theirs)

echo "job: $pages pages, $bytes bytes of bitmap (largest page $largest bytes)"
printf '%-30s %10s %10s %16s %12s\n' program "wall s" "cpu s" instructions "peak KiB"
for f in ours floor theirs; do
    case $f in ours) n="zaridiravid";; floor) n="floor (read only)";; theirs) n="rastertolabel";; esac
    eval "i=\$i_$f"
    printf '%-30s %10s %10s %16s %12s\n' "$n" "$(wall $f)" "$(cpu $f)" "$i" "$(mem $f)"
done
awk -v o="$i_ours" -v f="$i_floor" -v t="$i_theirs" -v b="$bytes" \
    -v co="$(cpu ours)" -v cf="$(cpu floor)" -v mo="$(mem ours)" -v mf="$(mem floor)" -v pg="$largest" 'BEGIN {
    printf "instructions per byte over the floor: %.3f   (target <= 1.0)\n", (o - f) / b
    printf "instructions vs rastertolabel:        %.3fx  (target <= 0.15)\n", o / t
    printf "CPU time vs the floor:                %.3fx  (target <= 1.10)\n", (cf > 0 ? co / cf : 0)
    printf "peak memory over the floor:           %d KiB (target <= %d KiB: one page + 4 MiB)\n", mo - mf, pg / 1024 + 4096
}'
if [ -n "${BENCH_WORK:-}" ]; then
    echo "raster and profiles kept in $work (callgrind_annotate $work/cg.ours)"
fi
