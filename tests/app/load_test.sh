#!/bin/bash
# The Printer Application under load and faults, as a shop's label network
# gives them:
#  - JOBS (200, or $ZARIDIRAVID_LOAD_JOBS) jobs of 1 to 5 labels from 4
#    clients at once across 2 printers: every label reaches its printer, each
#    printer's jobs in the order they were accepted, none twice; the server's
#    memory after all the jobs within 2 MiB of what it was after the first 20;
#  - a client that hangs up in the middle of a page, and a job cancelled in
#    the middle of a page: the printer gets nothing of them (the bitmap of a
#    page goes out only at its end), the next job prints whole;
#  - while a job prints, clients turned away as the printer is busy and
#    others reading its attributes, all at once: every request is answered;
#  - every setting of a printer, and one changed while a job prints, kept
#    across a shutdown right after that job;
#  - a printer that hangs up in the middle of a job: that job ends (aborted
#    when the server's writes fail; a raw socket may take all of a short job
#    before the hang-up shows, and then it counts as printed), none of it is
#    sent again, and the next job prints whole;
#  - the server killed (SIGKILL) in the middle of a job and started again:
#    its printers and their settings are all there.
#   load_test.sh APP [JOBS]
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../cups/lib.sh"
. "$here/lib.sh"
command -v gs > /dev/null || { echo "skipped: needs gs"; exit 77; }
app_scratch load "$1"

# Labels of 2 x 1 inches, 1 to 5 a document, at each printer's resolution.
for n in 1 2 3 4 5; do
    printf '<< /PageSize [144 72] >> setpagedevice\n' > "$n.ps"
    for ((p = 1; p <= n; p++)); do printf '10 10 %d 52 rectfill showpage\n' $((20 * p)) >> "$n.ps"; done
    for dpi in 200 300; do gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pwgraster -r$dpi -dcupsColorSpace=18 \
        -dcupsBitsPerColor=8 -sOutputFile="$n-$dpi.pwg" "$n.ps" 2> /dev/null || fail "label $n"; done
done

# The label job blocks' copy counts, in the order the printer got them: each
# job asks for as many copies as its number (up to 999, then from 1 again),
# so they tell the jobs apart.
blocks() { perl -0777 -ne 'print "$1\n" while /I 0,0,0;cups\r\n(?:[CP] [^\r]*\r\n)*A(\d+)\r\n/g' "$1"; }
# submit PRINTER JOB: JOB's labels (JOB % 5 + 1 of them, JOB copies); once
# accepted, "PRINTER JOB-ID JOB LABELS" goes to accepted. A printer still
# printing a PWG raster job answers "busy": the client tries again.
# (ipptool, not the app's own submit, which takes "busy" for accepted.)
printf '%s\n' '{ OPERATION Print-Job GROUP operation-attributes-tag ATTR charset attributes-charset utf-8' \
    'ATTR naturalLanguage attributes-natural-language en ATTR uri printer-uri $uri' \
    'ATTR mimeMediaType document-format image/pwg-raster GROUP job-attributes-tag ATTR integer copies $copies' \
    'ATTR keyword media oe_2x1-label_2x1in FILE $filename STATUS successful-ok DISPLAY job-id }' > print.test
submit() {
    local dpi=300 n=$(($2 % 5 + 1)) out tries
    [ "$1" = b ] && dpi=200
    for ((tries = 0; tries < 600; tries++)); do
        out=$(ipptool -T 30 -c -d copies=$((($2 - 1) % 999 + 1)) -f "$n-$dpi.pwg" "ipp://localhost:$port/ipp/print/$1" print.test 2>&1) &&
            { echo "$1 $(tail -1 <<< "$out") $((($2 - 1) % 999 + 1)) $n" >> accepted; return; }
        grep -qiE 'busy|printing another' <<< "$out" || { fail "job $2: $out"; return; }
        sleep 0.1
    done
    fail "job $2 never accepted"
}
# What each printer should have got: its jobs in the order of their ids, each
# job's number once a label.
expected() { awk -v p="$1" '$1 == p' accepted | sort -k2n | awk '{ for (i = 0; i < $4; i++) print $3 }'; }
# run_jobs FIRST LAST: the jobs from 4 clients at once, to both printers; then
# waits until both printers have every label.
run_jobs() {
    local c k clients=()
    for c in 0 1 2 3; do
        (for ((k = $1 + c; k <= $2; k += 4)); do submit "$( ((k % 2)) && echo a || echo b)" "$k"; done) &
        clients+=($!)
    done
    wait "${clients[@]}"
    wait_for 120 '[ "$(blocks a.out | wc -l)" -eq "$(expected a | wc -l)" ] &&
                  [ "$(blocks b.out | wc -l)" -eq "$(expected b | wc -l)" ]' || fail "labels missing"
}
# ipp_get PRINTER OPERATION ATTRIBUTES NAME...: the NAMEs' values, separated
# by commas, from an OPERATION request with ATTRIBUTES to PRINTER.
ipp_get() {
    local printer=$1 op=$2 attrs=$3
    shift 3
    ipptool -T 10 -c "ipp://localhost:$port/ipp/print/$printer" /dev/stdin <<< "{ OPERATION $op
        GROUP operation-attributes-tag ATTR charset attributes-charset utf-8
        ATTR naturalLanguage attributes-natural-language en ATTR uri printer-uri \$uri $attrs
        ATTR keyword requested-attributes $(IFS=,; echo "$*") $(printf 'DISPLAY %s ' "$@") }" | tail -1
}
rss() { awk '/^VmRSS/ { print $2 }' "/proc/$server/status"; }

start_server "$app" "$tmp/state" || exit 1
listen a.out && add "$app" a ravi343 || exit 1
listen b.out && add "$app" b ravi1322 || exit 1
expect "modify" "$("$app" modify -d a -o label-mode-configured=cutter -o cutter-interval=5 2>&1)" ""

run_jobs 1 20
before=$(rss)
njobs=${2:-${ZARIDIRAVID_LOAD_JOBS:-200}}
run_jobs 21 "$njobs"
after=$(rss)
for p in a b; do expect "printer $p's labels, in order" "$(blocks $p.out | xargs)" "$(expected $p | xargs)"; done
# (Not under AddressSanitizer, which holds freed memory back on purpose.)
[ $((after - before)) -le 2048 ] || [ -n "${ASAN_OPTIONS:-}" ] || fail "memory grew from $before to $after KiB"
echo "memory after 20 jobs: $before KiB, after $njobs: $after KiB; started twice: $(cat "$tmp"/state/log* | grep -c 'Started twice')"

# A printer that takes 4000 bytes of its first job and hangs up.
perl -MIO::Socket::INET -e '
    my $s = IO::Socket::INET->new(Listen => 5, LocalAddr => "127.0.0.1", ReuseAddr => 1) or die;
    open(my $p, ">", "$ARGV[0].new") or die; print $p $s->sockport; close $p; rename "$ARGV[0].new", $ARGV[0];
    for (my $n = 1; my $c = $s->accept; $n++) {
        open(my $out, ">", "c.$n") or die; binmode $out; my ($b, $got) = ("", 0);
        while (sysread($c, $b, 65536)) { print $out $b; $got += length $b; last if $n == 1 && $got >= 4000 }
        close $out; close $c }' c.port &
servers+=($!)
wait_for 10 '[ -s c.port ]' && devport=$(cat c.port) && add "$app" c ravi343 || exit 1
submit c 204
submit c 201
wait_for 30 '[ "$(blocks c.2 2> /dev/null | xargs)" = "201 201" ]' || fail "the job after the hang-up: $(blocks c.2 | xargs)"
state=$(ipp_get c Get-Job-Attributes "ATTR integer job-id $(awk '$1 == "c" && $3 == 204 { print $2 }' accepted)" job-state)
[[ $state =~ ^(aborted|completed)$ ]] || fail "the job the printer hung up on is $state, not ended"

# half PRINTER DOC hangup|cancel: a Print-Job of DOC that stops halfway into
# its rows and hangs up, or waits there for the file "go"; half PRINTER DOC
# busy SECONDS: Print-Jobs and Get-Printer-Attributes at once.
half() { python3 "$here/mutate.py" "$port" "$@"; }
# Cut off in the middle of a page by its client, cancelled in the middle of
# a page: nothing reaches the printer; then a job prints whole.
listen d.out && add "$app" d ravi343 || exit 1
state() { ipp_get d Get-Job-Attributes "ATTR integer job-id $1" job-state; }
half d 1-300.pwg hangup
wait_for 30 '[ "$(state 1)" = aborted ]' || fail "the job cut off by its client: $(state 1)"
half d 1-300.pwg cancel &
wait_for 30 '[ "$(state 2)" = processing ]' && "$app" cancel -d d -j 2 || fail "cancel"
touch go
wait_for 30 '[ "$(state 2)" = canceled ]' || fail "the job cancelled: $(state 2)"
expect "bytes the printer got of the jobs cut short" "$(wc -c < d.out)" 0
submit d 206
wait_for 30 '[ "$(blocks d.out | xargs)" = "206 206" ]' || fail "after the cancel: $(blocks d.out | xargs)"
# Every setting, and a change made while a job prints (saved only once the
# printers are quiet), kept across a shutdown right after that job.
ipptool -T 10 "ipp://$(local_socket)/ipp/print/d" /dev/stdin << 'EOF' || fail "Set-Printer-Attributes"
{ OPERATION Set-Printer-Attributes GROUP operation-attributes-tag ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en ATTR uri printer-uri $uri GROUP printer-attributes-tag
  ATTR integer printer-darkness-configured 30 ATTR integer print-darkness-default 4 ATTR integer print-speed-default 5080
  ATTR collection media-col-ready { MEMBER collection media-size { MEMBER integer x-dimension 5700
    MEMBER integer y-dimension 3200 } MEMBER integer media-top-offset 70 MEMBER integer media-left-offset 50
    MEMBER keyword media-tracking continuous }
  ATTR keyword label-mode-configured tear-off ATTR keyword print-method-default direct-thermal
  ATTR integer label-gap-default 250 ATTR boolean label-mirror-default true ATTR keyword backfeed-default when-needed
  ATTR integer cutter-offset-default -40 ATTR integer peel-off-offset-default 30 STATUS successful-ok }
EOF
settings=(printer-darkness-configured print-speed-default media-col-default media-col-ready label-mode-configured
    print-method-default label-gap-default label-mirror-default backfeed-default cutter-offset-default peel-off-offset-default)
rm -f go
half d 1-300.pwg cancel &
wait_for 30 '[ "$(state 4)" = processing ]' && "$app" modify -d d -o printer-darkness-configured=0 || fail "modify"
half d 1-300.pwg busy 4 || fail "a request unanswered while jobs were turned away as busy"
set=$(ipp_get d Get-Printer-Attributes "" "${settings[@]}")
grep -q '^0,5080,.*size-name=custom_57x32mm.*top-offset=70' <<< "$set" || fail "the settings as set: $set"
"$app" shutdown
touch go
wait_for 30 '! kill -0 "$server" 2> /dev/null' || fail "shutdown"
start_server "$app" "$tmp/state" || exit 1
expect "d's settings after the shutdown" "$(ipp_get d Get-Printer-Attributes "" "${settings[@]}")" "$set"
expect "the job before the shutdown" "$(state 4)" completed
# Killed in the middle of a job, started again on the same state file.
"$app" submit -u "ipp://localhost:$port/ipp/print/a" -o copies=300 5-300.pwg > /dev/null 2>&1 &
sleep 0.3
kill -9 "$server"
wait "$server" 2> /dev/null
stop_servers
start_server "$app" "$tmp/state" || exit 1
expect "printers after the restart" "$("$app" printers -u "ipp://localhost:$port" | sort | xargs)" "a b c d"
expect "a's settings after the restart" "$(ipp_get a Get-Printer-Attributes "" label-mode-configured \
    cutter-interval-default)" "cutter,5"

[ "$failures" -eq 0 ]
