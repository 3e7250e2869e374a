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
app_scratch server "$1"

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
# letter page cut to the label; a device that answers only after the job was
# sent; the test label. (A value the printer can't take: app_test's table; the
# printers and their settings after a restart: load_test.sh.)
tear="TearOffMode=True LabelGapVK=5"
label p 283.46 141.6 300 1 png 4 && want p 343 "$tear"
label c 283.46 141.6 300 1 sgray_8 && want c 343 "$tear" && cp c.want tear.want && want c 343
label letter 612 792 300 1 sgray_8
printer label 343 -o label-mode-configured=tear-off -o label-gap=500
submit label p.doc -o copies=4 -o print-scaling=fit && got label p.want
submit label letter.doc && got label tear.want
# The test label, asked for over the local socket and by the server's URI:
# one label of the loaded size printed with the printer's settings, its frame
# 4 dots (0.3 mm) wide on the label's outermost dots (1181 x 590 at 300 dpi,
# sent 1184 dots wide), white inside it on the sides without a ruler.
for how in "" "-u ipp://localhost:$port"; do
    before[label]=$(stat -c %s label.prn)
    "$app" testpage $how -d label > /dev/null || fail "testpage $how"
    next_label label
    expect "test label's block $how" "$(part label.got 1 block)" "$(part tear.want 1 block)"
    part label.got 1 image | gemtopnm > t.pbm
    expect "test label $how" "$(pamfile -size t.pbm) $(shade t.pbm 0 0 1181 4) $(shade t.pbm 0 586 1181 4)
        $(shade t.pbm 0 0 4 590) $(shade t.pbm 1177 0 4 590) $(shade t.pbm 4 585 1173 1) $(shade t.pbm 1176 60 1 525)
        $(shade t.pbm 1181 0 3 590)" "1184 590 B B
        B B W W
        W"
done
late=$(free_port) devport=$late
: > late.prn && add "$app" late ravi343 && { submit late c.doc & } && before[late]=0
sleep 1.5 && listen late.prn "$late" && got late c.want

[ "$failures" -eq 0 ]
