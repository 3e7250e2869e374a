#!/bin/bash
# A real CUPS scheduler, listening on a local socket with all its directories
# in a scratch one, and a queue for one of our models printing into a file:
#   cupsd_test.sh FILTER PPD_DIR
. "$(dirname "$0")/lib.sh"
[ "$(id -u)" -eq 0 ] || { echo "skipped: cupsd has to start as root"; exit 77; }
scratch cupsd
cleanup() { stop_cupsd; rm -rf "$tmp"; }

# Its programs with our filter, its data with our PPDs as a driver directory.
serverbin "$tmp/bin" "$1"
mkdir -p "$tmp/data/model/zaridiravid"
for d in "$(cups-config --datadir)"/*; do [ "$(basename "$d")" = model ] || ln -s "$d" "$tmp/data/"; done
cp "$2"/ravi*.ppd "$tmp/data/model/zaridiravid/"
start_cupsd "ServerBin $tmp/bin" "DataDir $tmp/data" "FileDevice Yes"

# The driver lists every model; a queue from its listing prints a PDF with
# options and three copies into a file.
expect "lpinfo -m" "$(timeout 30 lpinfo -h "$host" -m | grep -c '^zaridiravid/ravi[0-9]*\.ppd Ravi ')" 31
timeout 30 lpadmin -h "$host" -p q -E -m zaridiravid/ravi343.ppd -v "file://$tmp/out" \
    -o printer-error-policy=abort-job 2>/dev/null || fail "lpadmin"
test_pdf "$tmp/test.pdf"
print_job q -o Heat=12 -o Cutter=True -o cCutterInterval=100 -o cCutterOffset1Dir=Minus -o cCutterOffset1VK=20 \
    -o cCutterOffset1NK=9 -n 3 "$tmp/test.pdf"

# The printer makes the copies: each page's block ends in "A3".
check_pages "$tmp/out" $'m m\nJ\nO D\nH 4,12,T\nS l1;0.00,0.00,50.09,53.09,99.8\nI 0,0,0;cups\nC 100,-20.9\nA3'
[ "$failures" -eq 0 ]
