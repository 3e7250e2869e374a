#!/bin/bash
# CUPS's whole filter chain from a PDF to the printer stream, with cupsfilter
# and a ServerBin that holds CUPS's filters and ours:
#   cupsfilter_test.sh FILTER PPD_DIR
. "$(dirname "$0")/lib.sh"
scratch cupsfilter
serverbin "$tmp/bin" "$1"
echo "ServerBin $tmp/bin" > "$tmp/cups-files.conf"
test_pdf "$tmp/test.pdf"
# Model 343, with the widest choice of every option (a field that cuts them).
timeout 60 cupsfilter -c "$tmp/cups-files.conf" -e -p "$2/ravi343.ppd" -m printer/foo -o Heat=20 -o Speed=12 \
    -o PrintMethod=False -o LabelMirrored=True -o LabelRotate=True -o BackFeed=BFS -o LabelSensor=LSR \
    -o LabelGapVK=20 -o LabelGapNK=9 -o PrnHeadOffsetXVK=20 -o PrnHeadOffsetXNK=9 -o PrnHeadOffsetYDir=Minus \
    -o PrnHeadOffsetYVK=30 -o PrnHeadOffsetYNK=9 -o PeelOff=True -o cPeelOffDir=PODIRM -o cPeelOffVKVersatz=20 \
    -o cPeelOffNKVersatz=9 "$tmp/test.pdf" > "$tmp/out" 2> "$tmp/log" || { fail cupsfilter; grep -v ^D "$tmp/log" >&2; }
check_pages "$tmp/out" $'m m\nJ\nO M,R,P\nH 12,20,D\nS l0;20.90,-30.90,50.09,70.99,78.9\nI 0,0,0;cups\nP -20.9\nA1'
[ "$failures" -eq 0 ]
