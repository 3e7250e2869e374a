#!/bin/sh
# Prints the bundled sample shipping label for one printer model, from start
# to end: installs what is needed, builds, and sends samples/shipping-label.pdf
# through CUPS's own filter chain (PDF to raster, then the zaridiravid filter
# just built) into out/sample-label.prn, then shows it as out/sample-label.png
# with zaridiravid-preview.
#
# With "app", the Printer Application does the printing instead, the way a
# phone prints to it: its server on a loopback port with the printer added
# (through the server's local socket), the label rendered as PWG raster by
# Ghostscript and sent over IPP; a loopback listener stands in for the printer
# and keeps its bytes in out/app-sample-label.prn, shown as
# out/app-sample-label.png.
#
#   sh scripts/demo.sh [app] [MODEL]    MODEL: a model number such as 343 (the
#                                       default) or 1322; "Ravi 343/300" works too
set -e
cd "$(dirname "$0")/.."
app=
if [ "${1-}" = app ]; then app=1; shift; fi
model=${1:-343}
model=${model##* }
model=${model%%/*}

sh scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"

ppd=build/ppd/ravi$model.ppd
if [ ! -f "$ppd" ]; then
    echo "demo: there is no model $model; the models are:" \
        $(ls build/ppd | sed -n 's/^ravi\([0-9]*\)\.ppd$/\1/p' | sort -n) >&2
    exit 2
fi
name=$(sed -n 's/^\*NickName: "\(Ravi [^,]*\),.*/\1/p' "$ppd")

# The label is 100 x 150 mm; a narrow model gets it shrunk onto a label of the
# same shape, 50 x 75 mm.
if grep -q '^\*PageSize 100x150mm.Fullbleed' "$ppd"; then
    size=100x150mm.Fullbleed media=om_100x150-label_100x150mm points="283.46 425.2"
else
    size=Custom.50x75mm media=custom_demo_50x75mm points="141.73 212.6"
fi
dpi=$(sed -n 's/^\*DefaultResolution: \([0-9]*\)dpi/\1/p' "$ppd")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p out

if [ -n "$app" ]; then
    # The server under a name of its own, so that its local socket is its own
    # (/run/zaridiravid-app-demo.sock as root) beside any installed service.
    ln -s "$(pwd)/build/app/zaridiravid-app" "$tmp/zaridiravid-app-demo"
    server=$tmp/zaridiravid-app-demo
    : > out/app-sample-label.prn && : > out/app-sample-label.log
    perl -MIO::Socket::INET -e '
        my $s = IO::Socket::INET->new(Listen => 5, LocalAddr => "127.0.0.1", LocalPort => 0, ReuseAddr => 1) or die;
        open(my $p, ">", "$ARGV[1].new") or die; print $p $s->sockport; close $p; rename "$ARGV[1].new", $ARGV[1];
        open(my $out, ">>", $ARGV[0]) or die; binmode $out; $out->autoflush(1);
        while (my $c = $s->accept) { my $b; print $out $b while sysread($c, $b, 65536); close $c }' \
        out/app-sample-label.prn "$tmp/printer-port" &
    printer=$!
    port=$(perl -MIO::Socket::INET -e 'print IO::Socket::INET->new(Listen => 1, LocalAddr => "127.0.0.1")->sockport')
    mkdir "$tmp/spool"
    "$server" server -o server-port="$port" -o listen-hostname=localhost -o spool-directory="$tmp/spool" \
        -o state-file="$tmp/state" -o log-file="$(pwd)/out/app-sample-label.log" -o log-level=info &
    pid=$!
    trap 'kill $printer $pid 2>/dev/null; wait $pid; rm -rf "$tmp"' EXIT
    # wait_for COMMAND: COMMAND succeeds within 30 seconds.
    wait_for() {
        n=0
        until eval "$1"; do
            n=$((n + 1)) && [ $n -lt 300 ] || return 1
            sleep 0.1
        done
    }
    wait_for '[ -s "$tmp/printer-port" ] && "$server" status -u "ipp://localhost:$port" > /dev/null 2>&1' ||
        { echo "demo: the server did not start; see out/app-sample-label.log" >&2; exit 1; }
    "$server" add -d demo -m "ravi$model" -v "socket://127.0.0.1:$(cat "$tmp/printer-port")"

    gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pwgraster -dcupsColorSpace=18 -dcupsBitsPerColor=8 -r"$dpi" \
        -dDEVICEWIDTHPOINTS="${points% *}" -dDEVICEHEIGHTPOINTS="${points#* }" -dFIXEDMEDIA -dPDFFitPage \
        -sOutputFile="$tmp/label.pwg" samples/shipping-label.pdf
    "$server" submit -u "ipp://localhost:$port/ipp/print/demo" -o media="$media" -o media-source=main-roll \
        "$tmp/label.pwg" > /dev/null
    wait_for 'tail -c 6 out/app-sample-label.prn | grep -q "^A1" &&
        "$server" status -u "ipp://localhost:$port/ipp/print/demo" | grep -q "idle since"' ||
        { echo "demo: the label did not reach the printer; see out/app-sample-label.log" >&2; exit 1; }
    build/preview/zaridiravid-preview --resolution "$dpi" -o out/app-sample-label.png out/app-sample-label.prn \
        > out/app-sample-label.txt
    echo
    echo "The Printer Application printed samples/shipping-label.pdf, sent as PWG raster over IPP,"
    echo "to the $name (label size $media)."
    echo "Printer output: out/app-sample-label.prn ($(wc -c < out/app-sample-label.prn) bytes)"
    echo "Server log: out/app-sample-label.log"
    echo "The label as the printer would print it: out/app-sample-label.png"
    echo "The label job block in words: out/app-sample-label.txt"
    exit 0
fi

# cupsfilter runs the filters of the ServerBin that its cups-files.conf names:
# here CUPS's own filters and the one just built.
mkdir -p "$tmp/serverbin/filter"
for f in "$(cups-config --serverbin)"/filter/*; do ln -s "$f" "$tmp/serverbin/filter/"; done
cp build/zaridiravid "$tmp/serverbin/filter/zaridiravid"
echo "ServerBin $tmp/serverbin" > "$tmp/cups-files.conf"

if ! cupsfilter -c "$tmp/cups-files.conf" -e -p "$ppd" -m printer/foo -o PageSize=$size -o fit-to-page \
        samples/shipping-label.pdf > out/sample-label.prn 2> out/sample-label.log; then
    grep -v '^DEBUG' out/sample-label.log >&2
    echo "demo: printing failed; the whole log is in out/sample-label.log" >&2
    exit 1
fi

# What the printer would make of it: the label as a PNG, the block in words.
build/preview/zaridiravid-preview --resolution "$dpi" -o out/sample-label.png out/sample-label.prn \
    > out/sample-label.txt

echo
echo "Printed samples/shipping-label.pdf for the $name (label size $size)."
echo "Printer output: out/sample-label.prn ($(wc -c < out/sample-label.prn) bytes)"
echo "Filter messages: out/sample-label.log"
echo "The label as the printer would print it: out/sample-label.png"
echo "The label job block in words: out/sample-label.txt"
echo "Label job block sent after the image:"
tail -c 400 out/sample-label.prn | tr -d '\r' | LC_ALL=C sed -n '/end-of-data/,$p' | LC_ALL=C sed 's/.*end-of-data//; s/^/    /'
