#!/bin/bash
# CUPS's whole filter chain, PDF to printer stream, with cupsfilter:
#   cupsfilter_test.sh FILTER PPD_DIR
# cupsfilter takes its filters from the ServerBin of the cups-files.conf it is
# given; ours holds CUPS's filters and a copy of the freshly built one.
set -u
here=$(dirname "$0")
. "$here/lib.sh"
filter=$1 ppds=$2

make_tmpdir cupsfilter
trap 'rm -rf "$tmp"' EXIT
make_serverbin "$tmp/serverbin" "$filter"
echo "ServerBin $tmp/serverbin" > "$tmp/cups-files.conf"
make_test_pdf "$tmp/test.pdf"

# run OUT MODEL [OPTIONS...]: prints the test PDF for a model into OUT.
run() {
    local out=$1 model=$2
    shift 2
    if ! timeout 60 cupsfilter -c "$tmp/cups-files.conf" -e -p "$ppds/ravi$model.ppd" -m printer/foo \
            "$@" "$tmp/test.pdf" > "$out" 2> "$out.log"; then
        fail "cupsfilter for model $model"
        grep -v '^DEBUG' "$out.log" >&2
    fi
}

# Model 343 (300 dpi) with the PPD's defaults: both pages, on the default
# 100 x 50 mm label, with the label job block the defaults give.
run "$tmp/plain.prn" 343
expect_same "plain: pages" "$(page_count "$tmp/plain.prn")" 2
block=$'m m\nJ\nO D\nH 4,10,T\nS l1;0.00,0.00,50.09,53.09,99.8\nI 0,0,0;cups\nA1'
for n in 1 2; do
    expect_same "plain: page $n job block" "$(job_block "$tmp/plain.prn" $n)" "$block"
    page_pbm "$tmp/plain.prn" $n "$tmp/plain$n.pbm"
    # 100 mm at 300 dpi are 1181 pixels, sent as 148 bytes a row; 50 mm are 591 rows.
    expect_same "plain: page $n size" "$(head -c 20 "$tmp/plain$n.pbm" | sed -n 2p)" "1184 591"
done
expect_black "plain: page 1 top left" "$tmp/plain1.pbm" 10 10 570 275
expect_white "plain: page 1 top right" "$tmp/plain1.pbm" 600 10 570 275
expect_white "plain: page 1 bottom" "$tmp/plain1.pbm" 10 305 1160 275
expect_white "plain: page 2 top" "$tmp/plain2.pbm" 10 10 1160 275
expect_white "plain: page 2 bottom left" "$tmp/plain2.pbm" 10 305 570 275
expect_black "plain: page 2 bottom right" "$tmp/plain2.pbm" 600 305 570 275

# Model 146 (600 dpi) on a 4 x 6 in label, with options of every kind.
run "$tmp/options.prn" 146 -o PageSize=4x6.Fullbleed -o Heat=15 -o Speed=6 -o PrintMethod=False \
    -o LabelMirrored=True -o BackFeed=BFS -o LabelSensor=LSE -o PrnHeadOffsetXVK=2 \
    -o PrnHeadOffsetYDir=Minus -o PrnHeadOffsetYVK=1 -o PrnHeadOffsetYNK=5 \
    -o PeelOff=True -o cPeelOffDir=PODIRM -o cPeelOffVKVersatz=2 -o cPeelOffNKVersatz=5
expect_same "options: pages" "$(page_count "$tmp/options.prn")" 2
expect_same "options: job block" "$(job_block "$tmp/options.prn" 1)" \
    $'m m\nJ\nO M,P\nH 6,15,D\nS e;2.00,-1.50,152.40,152.40,99.6\nI 0,0,0;cups\nP -2.5\nA1'
page_pbm "$tmp/options.prn" 1 "$tmp/options1.pbm"
expect_same "options: page size" "$(head -c 20 "$tmp/options1.pbm" | sed -n 2p)" "2400 3600"

# Model 1322 (200 dpi, 52 mm wide) on its default 50 x 30 mm label, cutting
# at the end of the job.
run "$tmp/cut.prn" 1322 -o Cutter=True -o cCutterMode=CMOD2E -o cCutterOffset1Dir=Minus \
    -o cCutterOffset1VK=1 -o cCutterOffset1NK=5
expect_same "cutter: job block" "$(job_block "$tmp/cut.prn" 2)" \
    $'m m\nJ\nO D\nH 4,10,T\nS l1;0.00,0.00,29.99,32.99,50.1\nI 0,0,0;cups\nC e,-1.5\nA1'

[ "$failures" -eq 0 ] || exit 1
