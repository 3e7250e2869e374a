#!/bin/bash
# A real CUPS scheduler with a queue for one of our models, printing a PDF
# into a device file:
#   cupsd_test.sh FILTER PPD_DIR
# The scheduler runs in the foreground on a free loopback port, with all its
# directories in a temporary one; it is stopped at the end whatever happens.
set -u
here=$(dirname "$0")
. "$here/lib.sh"
filter=$1 ppds=$2

if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: cupsd has to start as root"
    exit 77
fi

# In /tmp whatever TMPDIR says: filters run as user lp and must reach it.
TMPDIR=/tmp make_tmpdir cupsd
cupsd_pid=
stop() {
    if [ -n "$cupsd_pid" ] && kill "$cupsd_pid" 2>/dev/null; then
        for _ in $(seq 50); do kill -0 "$cupsd_pid" 2>/dev/null || break; sleep 0.1; done
        kill -KILL "$cupsd_pid" 2>/dev/null
        wait "$cupsd_pid" 2>/dev/null
    fi
    rm -rf "$tmp"
}
trap stop EXIT
trap 'exit 1' INT TERM

# The scheduler's world: its programs, its data with our PPDs as a driver
# directory (for lpinfo -m), and every directory it writes to.
make_serverbin "$tmp/serverbin" "$filter"
mkdir -p "$tmp/data/model/zaridiravid" "$tmp/root" "$tmp/spool/tmp" "$tmp/cache" "$tmp/state" \
    "$tmp/log" "$tmp/ssl"
for d in "$(cups-config --datadir)"/*; do
    [ "$(basename "$d")" = model ] || ln -s "$d" "$tmp/data/"
done
cp "$ppds"/ravi*.ppd "$tmp/data/model/zaridiravid/"
make_test_pdf "$tmp/test.pdf"

cat > "$tmp/cups-files.conf" <<EOF
ServerRoot $tmp/root
ServerBin $tmp/serverbin
DataDir $tmp/data
RequestRoot $tmp/spool
TempDir $tmp/spool/tmp
CacheDir $tmp/cache
StateDir $tmp/state
ServerKeychain $tmp/ssl
CreateSelfSignedCerts no
ErrorLog $tmp/log/error_log
AccessLog $tmp/log/access_log
PageLog $tmp/log/page_log
Printcap $tmp/printcap
FileDevice Yes
EOF

# A TCP port that no socket listed in /proc uses, in any state.
free_port() {
    local port tables
    tables=$(ls /proc/net/tcp /proc/net/tcp6 2>/dev/null)
    for _ in $(seq 50); do
        port=$((20000 + RANDOM % 40000))
        [ -n "$tables" ] || break
        # shellcheck disable=SC2086
        awk -v p="$(printf '%04X' "$port")" 'FNR > 1 { split($2, a, ":"); if (a[2] == p) found = 1 }
            END { exit found }' $tables && break
    done
    echo "$port"
}

# Start the scheduler, on another port if the first one was taken meanwhile.
for _ in 1 2 3; do
    port=$(free_port)
    host=127.0.0.1:$port
    cat > "$tmp/cupsd.conf" <<EOF
LogLevel debug
Listen $host
Browsing No
WebInterface No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order allow,deny
    Allow all
  </Limit>
</Policy>
EOF
    cupsd -f -c "$tmp/cupsd.conf" -s "$tmp/cups-files.conf" &
    cupsd_pid=$!
    for _ in $(seq 100); do
        kill -0 "$cupsd_pid" 2>/dev/null || break
        lpstat -h "$host" -r 2>/dev/null | grep -q 'is running' && break 2
        sleep 0.1
    done
    kill "$cupsd_pid" 2>/dev/null
    wait "$cupsd_pid" 2>/dev/null
    cupsd_pid=
done
if [ -z "$cupsd_pid" ]; then
    echo "FAIL: the scheduler did not start" >&2
    tail -20 "$tmp/log/error_log" >&2
    exit 1
fi
pass "scheduler running on $host"

# The driver lists every model, and a queue can be made from its listing.
listed=$(timeout 30 lpinfo -h "$host" -m | grep -c '^zaridiravid/ravi[0-9]*\.ppd Ravi ')
expect_same "lpinfo -m lists the models" "$listed" 31
timeout 30 lpadmin -h "$host" -p small -E -m zaridiravid/ravi1322.ppd -v "file://$tmp/small.prn" 2>/dev/null
expect_same "queue from lpadmin -m" "$(grep '^\*cupsModelNumber' "$tmp/root/ppd/small.ppd" 2>/dev/null)" \
    "*cupsModelNumber: 1322"

# The queue under test, and one job with options and three copies.
out=$tmp/out.prn
timeout 30 lpadmin -h "$host" -p q -E -P "$ppds/ravi343.ppd" -v "file://$out" \
    -o printer-error-policy=abort-job 2>/dev/null || fail "lpadmin -p q"
job=$(timeout 30 lp -h "$host" -d q -o Heat=12 -o Cutter=True -n 3 "$tmp/test.pdf" |
      sed -n 's/^request id is \(q-[0-9]*\) .*/\1/p')
[ -n "$job" ] || fail "lp took no job"
# Until the job is done one way or the other (a job whose filter failed stays
# "stopped" in the queue), at most a minute.
for _ in $(seq 600); do
    grep -qE "\[Job ${job#q-}\] Job (completed|stopped|aborted|canceled)" "$tmp/log/error_log" && break
    lpstat -h "$host" -o q 2>/dev/null | grep -q "^$job " || break
    sleep 0.1
done
if grep -q "\[Job ${job#q-}\] Job completed" "$tmp/log/error_log"; then
    pass "job $job completed"
else
    fail "job $job did not complete"
    grep "\[Job ${job#q-}\]" "$tmp/log/error_log" | grep -v '^D' | tail -20 >&2
    exit 1
fi

# Two pages, each with the job's options; the copies either as the printer's
# copy count (one label job per page ending in "A3") or as pages that CUPS
# repeated (three per page, each "A1").
pages=$(page_count "$out")
case $pages in
    2) copies=printer count=3 ;;
    6) copies=CUPS count=1 ;;
    *) fail "$pages pages, expected 2 (or 6 with CUPS making the copies)"; exit 1 ;;
esac
echo "copies made by: $copies"
expect_same "copies made by the printer" "$copies" printer
for n in $(seq "$pages"); do
    expect_same "page $n job block" "$(job_block "$out" "$n")" \
        $'m m\nJ\nO D\nH 4,12,T\nS l1;0.00,0.00,50.09,53.09,99.8\nI 0,0,0;cups\nC 1,+0.0\nA'$count
done
page_pbm "$out" 1 "$tmp/first.pbm"
page_pbm "$out" "$pages" "$tmp/last.pbm"
expect_same "page size" "$(head -c 20 "$tmp/first.pbm" | sed -n 2p)" "1184 591"
expect_black "first page top left" "$tmp/first.pbm" 10 10 570 275
expect_white "first page bottom" "$tmp/first.pbm" 10 305 1160 275
expect_black "last page bottom right" "$tmp/last.pbm" 600 305 570 275
expect_white "last page top" "$tmp/last.pbm" 10 10 1160 275

[ "$failures" -eq 0 ] || { tail -30 "$tmp/log/error_log" >&2; exit 1; }
