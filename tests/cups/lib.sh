# Shared pieces of the CUPS tests (bash, sourced).

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# A temporary directory that everybody may enter: CUPS runs filters as user lp.
make_tmpdir() {
    tmp=$(mktemp -d "${TMPDIR:-/tmp}/zaridiravid-$1.XXXXXX")
    chmod 0755 "$tmp"
}

# make_serverbin DIR FILTER: a CUPS ServerBin whose filter/ holds links to
# CUPS's own filters and a copy of ours; the other program directories
# (backend, daemon, ...) are CUPS's own.
make_serverbin() {
    local dir=$1 filter=$2 cups d
    cups=$(cups-config --serverbin 2>/dev/null || echo /usr/lib/cups)
    mkdir -p "$dir/filter"
    for d in "$cups"/filter/*; do ln -s "$d" "$dir/filter/"; done
    install -m 0755 "$filter" "$dir/filter/zaridiravid"
    for d in "$cups"/*; do
        [ "$(basename "$d")" = filter ] || ln -s "$d" "$dir/"
    done
}

# A two-page PDF of 100 x 50 mm: page 1 black in its top left quarter, page 2
# black in its bottom right quarter, white elsewhere.
make_test_pdf() {
    cat > "$1.ps" <<'EOF'
%!PS
<< /PageSize [283.46 141.73] >> setpagedevice
0 setgray 0 70.865 141.73 70.865 rectfill showpage
0 setgray 141.73 0 141.73 70.865 rectfill showpage
EOF
    ps2pdf "$1.ps" "$1"
}

# Byte offsets of a pattern (a grep -P expression) in a file, one a line.
offsets() { LC_ALL=C grep -obUaP "$2" "$1" | cut -d: -f1; }

# page_count FILE: the image downloads in a printer stream.
page_count() { offsets "$1" 'd IMG;cups\r\x1b:' | wc -l; }

# page_img FILE N: the IMG image of page N.
page_img() {
    local start end
    start=$(offsets "$1" 'd IMG;cups\r\x1b:' | sed -n "$2p")
    end=$(offsets "$1" '\x1bend-of-data' | sed -n "$2p")
    tail -c +$((start + 14)) "$1" | head -c $((end - start - 13))
}

# job_block FILE N: page N's label job block, from "m m" to its A line, with
# the carriage returns taken out.
job_block() {
    local end next
    end=$(offsets "$1" '\x1bend-of-data' | sed -n "$2p")
    next=$(offsets "$1" 'e img;\*\r' | sed -n "$(($2 + 1))p")
    tail -c +$((end + 13)) "$1" | head -c $((${next:-$(stat -c %s "$1")} - end - 12)) | tr -d '\r'
}

# page_pbm FILE N OUT: page N decoded by netpbm's gemtopnm.
page_pbm() { page_img "$1" "$2" > "$3.img" && gemtopnm "$3.img" > "$3"; }

# mean PBM LEFT TOP WIDTH HEIGHT: share of white pixels in a region (0 = all black).
mean() { pamcut -left "$2" -top "$3" -width "$4" -height "$5" "$1" | pamsumm -mean -brief; }

# expect_black/expect_white WHAT PBM LEFT TOP WIDTH HEIGHT
expect_black() {
    local m; m=$(mean "${@:2}")
    if awk "BEGIN { exit !($m < 0.01) }"; then pass "$1 is black"; else fail "$1 is not black (white share $m)"; fi
}
expect_white() {
    local m; m=$(mean "${@:2}")
    if awk "BEGIN { exit !($m > 0.99) }"; then pass "$1 is white"; else fail "$1 is not white (white share $m)"; fi
}

# expect_same WHAT ACTUAL EXPECTED
expect_same() {
    if [ "$2" = "$3" ]; then pass "$1"; else fail "$1: got [$2], expected [$3]"; fi
}
