#!/bin/sh
# Prints the bundled sample shipping label for one printer model, from start
# to end: installs what is needed, builds, and sends samples/shipping-label.pdf
# through CUPS's own filter chain (PDF to raster, then the zaridiravid filter
# just built) into out/sample-label.prn, then shows it as out/sample-label.png
# with zaridiravid-preview.
#
#   sh scripts/demo.sh [MODEL]      MODEL: a model number such as 343 (the
#                                   default) or 1322; "Ravi 343/300" works too
set -e
cd "$(dirname "$0")/.."
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

# cupsfilter runs the filters of the ServerBin that its cups-files.conf names:
# here CUPS's own filters and the one just built.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/serverbin/filter"
for f in "$(cups-config --serverbin)"/filter/*; do ln -s "$f" "$tmp/serverbin/filter/"; done
cp build/zaridiravid "$tmp/serverbin/filter/zaridiravid"
echo "ServerBin $tmp/serverbin" > "$tmp/cups-files.conf"

# The label is 100 x 150 mm; a narrow model gets it shrunk onto a label of the
# same shape, 50 x 75 mm.
if grep -q '^\*PageSize 100x150mm.Fullbleed' "$ppd"; then
    size=100x150mm.Fullbleed
else
    size=Custom.50x75mm
fi

mkdir -p out
if ! cupsfilter -c "$tmp/cups-files.conf" -e -p "$ppd" -m printer/foo -o PageSize=$size -o fit-to-page \
        samples/shipping-label.pdf > out/sample-label.prn 2> out/sample-label.log; then
    grep -v '^DEBUG' out/sample-label.log >&2
    echo "demo: printing failed; the whole log is in out/sample-label.log" >&2
    exit 1
fi

# What the printer would make of it: the label as a PNG, the block in words.
dpi=$(sed -n 's/^\*DefaultResolution: \([0-9]*\)dpi/\1/p' "$ppd")
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
