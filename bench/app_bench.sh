#!/bin/bash
# Printer Application benchmark: our zaridiravid-app (driver ravi343) against
# Debian's lprint (another PAPPL Printer Application for label printers, with
# its first 4-inch 300-dpi thermal-transfer driver), printing the same PWG
# raster jobs (4 x 2 in labels at 300 dpi, sgray_8, text and bars) of 1, 10
# and 100 labels to a loopback "printer" (a perl listener on 127.0.0.1).
#
#   bench/app_bench.sh [runs]      (default 3 interleaved runs of each)
#
# Each run starts a fresh server on a free loopback port (state, spool and
# log in a temp dir), adds the printer, submits one job and measures: labels
# per second from the request to the last byte the printer receives, the
# server's CPU time per label from just before the request to the end of the
# job (user + system of all its threads: /proc/PID/stat's utime + stime, read
# to the nanosecond from the process's CPU clock), and its peak resident
# memory (VmHWM). Prints the medians and whether ours keeps up with the peer.
# Needs ghostscript, perl and, for the peer, lprint and setpriv (it runs as
# nobody); builds build-bench first. 3 runs take about 15 s.
set -u
cd "$(dirname "$0")/.." || exit 1
runs=${1:-3}
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release >/dev/null &&
    cmake --build build-bench -j2 --target zaridiravid-app >/dev/null || { echo "app_bench: build failed" >&2; exit 1; }
app=$PWD/build-bench/app/zaridiravid-app
work=$(mktemp -d /tmp/zaridiravid-app-bench.XXXXXX) && chmod 0755 "$work"
pids=()
cleanup() { kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
trap 'exit 1' INT TERM
media=oe_4x2-label_4x2in sizes="1 10 100" media_size="[288 144]"

# wait_for SECONDS CONDITION: true once CONDITION holds, polled every 0.05 s.
wait_for() {
    local n
    for ((n = $1 * 20; n > 0; n--)); do eval "$2" && return; sleep 0.05; done
    return 1
}
free_port() { perl -MIO::Socket::INET -e 'print IO::Socket::INET->new(Listen => 1, LocalAddr => "127.0.0.1")->sockport'; }
alive() { kill -0 "$server" 2>/dev/null; }
# cpu_seconds PID: user + system time of all the process's threads, live or
# ended (the sum /proc/PID/stat gives in 10 ms ticks), from its CPU clock.
cpu_seconds() { perl -MTime::HiRes=clock_gettime -e 'printf "%.6f", clock_gettime((-$ARGV[0] - 1) * 8 + 2)' "$1"; }

# The servers: ours, and lprint run as nobody with its state in its HOME
# (lprint has no state-file option; as root it keeps its printers in /etc).
servers=ours
if command -v lprint >/dev/null && command -v setpriv >/dev/null; then
    peer_driver=$(lprint drivers 2>/dev/null | awk '$1 ~ /_4inch-300dpi-tt$/ { print $1; exit }')
    printf '#!/bin/sh\nexec setpriv --reuid=nobody --regid=nogroup --clear-groups env HOME="$HOME" lprint "$@"\n' \
        >"$work/lprint.sh" && chmod 0755 "$work/lprint.sh"
    servers="ours peer"
else
    echo "app_bench: lprint (or setpriv) is not installed: measuring our app alone" >&2
fi

# The jobs: N labels, each with its number, a line of text and a row of bars.
for n in $sizes; do
    printf '%s\n' '%!PS' "<< /PageSize $media_size >> setpagedevice" '/Helvetica-Bold findfont 20 scalefont setfont' \
        "1 1 $n { 12 110 moveto (LABEL ) show 5 string cvs show 12 88 moveto (RAVI 343 BENCH) show" \
        '0 1 59 { dup 4.3 mul 12 add 20 3 -1 roll 3 mod 1 add 0.9 mul 50 rectfill } for 0.5 setgray' \
        '206 98 70 36 rectfill 0 setgray showpage } for' >"$work/$n.ps"
    gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pwgraster -r300 -dcupsColorSpace=18 -dcupsBitsPerColor=8 \
        -sOutputFile="$work/$n.pwg" "$work/$n.ps" >/dev/null 2>&1 || { echo "app_bench: gs failed" >&2; exit 1; }
done

# one SERVER N: one job of N labels; appends "SERVER N labels/s CPU-s/label
# peak-KiB" to $work/results, or "SERVER N died".
one() {
    local who=$1 n=$2 dir prog driver port devport server uri t0 cpu0 cpu1 hwm result=died
    dir=$(mktemp -d "$work/$who-$n.XXXX") && mkdir "$dir/spool" && chmod -R 0777 "$dir"
    # The printer: counts the bytes it receives and, at each connection's
    # end, writes the count and the time of the last byte to "stamp".
    perl -MIO::Socket::INET -MTime::HiRes=time -e '
        my $s = IO::Socket::INET->new(Listen => 5, LocalAddr => "127.0.0.1") or die;
        open(my $p, ">", "$ARGV[0]/port.new") or die; print $p $s->sockport; close $p;
        rename "$ARGV[0]/port.new", "$ARGV[0]/port"; my ($n, $t, $b) = (0, 0);
        while (my $c = $s->accept) { while (my $r = sysread($c, $b, 65536)) { $n += $r; $t = time }
            close $c; open($p, ">", "$ARGV[0]/stamp.new"); print $p "$n $t\n"; close $p;
            rename "$ARGV[0]/stamp.new", "$ARGV[0]/stamp" }' "$dir" &
    pids+=($!)
    wait_for 10 '[ -s "$dir/port" ]' && devport=$(cat "$dir/port") port=$(free_port) || return
    case $who in
    ours) prog=$app driver=ravi343 ;;
    peer) prog=$work/lprint.sh driver=$peer_driver ;;
    esac
    HOME=$dir "$prog" server -o server-port="$port" -o listen-hostname=localhost -o spool-directory="$dir/spool" \
        -o state-file="$dir/state" -o log-file="$dir/log" -o log-level=warn >/dev/null 2>&1 &
    server=$! && pids+=("$server")
    uri=ipp://localhost:$port/ipp/print/bench
    if wait_for 20 'timeout 5 "$prog" status -u "ipp://localhost:$port" >/dev/null 2>&1' &&
        timeout 20 "$prog" add -u "ipp://localhost:$port" -d bench -v "socket://127.0.0.1:$devport" -m "$driver" \
            >/dev/null 2>&1; then
        cpu0=$(cpu_seconds "$server") t0=$EPOCHREALTIME
        timeout 30 "$prog" submit -u "$uri" -o media="$media" "$work/$n.pwg" >/dev/null 2>&1
        # The job is done when the printer's connection has ended, the
        # printer is idle and no more bytes came.
        if wait_for 120 '[ -s "$dir/stamp" ] || ! alive' && sleep 0.2 && alive; then
            cpu1=$(cpu_seconds "$server") hwm=$(awk '/^VmHWM:/ { print $2 }' "/proc/$server/status")
            wait_for 20 'timeout 5 ipptool -tv "$uri" get-printer-attributes.test | grep -q "printer-state (enum) = idle"'
            sleep 0.2
            alive && result=$(awk -v n="$n" -v t0="$t0" -v c0="$cpu0" -v c1="$cpu1" -v m="$hwm" \
                '{ printf "%.3f %.6f %d", n / ($2 - t0), (c1 - c0) / n, m }' "$dir/stamp")
        fi
    fi
    echo "$who $n $result" >>"$work/results"
    kill "${pids[@]}" 2>/dev/null
    wait_for 5 '! kill -0 "$server" 2>/dev/null' || kill -9 "$server" 2>/dev/null
    wait 2>/dev/null
    pids=()
}

: >"$work/results"
k=0
for ((i = 1; i <= runs; i++)); do
    for n in $sizes; do
        order=$servers
        [ $((k++ % 2)) = 1 ] && [ "$servers" = "ours peer" ] && order="peer ours"
        for who in $order; do one "$who" "$n"; done
    done
done

# The medians of each server and size (of the runs it lived through), and
# whether ours keeps up: labels/s at least the peer's, CPU per label at most
# the peer's, peak memory at most the peer's + 2 MiB.
awk -v sizes="$sizes" -v runs="$runs" '
    function median(key, col,   v, i, j, t, m) {
        m = ok[key]
        for (i = 1; i <= m; i++) v[i] = val[key, i, col]
        for (i = 2; i <= m; i++) for (j = i; j > 1 && v[j - 1] > v[j]; j--) { t = v[j]; v[j] = v[j - 1]; v[j - 1] = t }
        return (m % 2) ? v[(m + 1) / 2] : (v[m / 2] + v[m / 2 + 1]) / 2
    }
    function cell(key, col, fmt) { return ok[key] ? sprintf(fmt, median(key, col)) : (died[key] ? "died" : "-") }
    function verdict(yes) { return yes ? "yes" : "NO" }
    $3 == "died" { died[$1 " " $2]++; next }
    { k = $1 " " $2; m = ++ok[k]; val[k, m, 3] = $3; val[k, m, 4] = $4; val[k, m, 5] = $5 / 1024 }
    END {
        printf "%6s | %10s %10s | %12s %12s | %8s %8s | %s\n", "labels", "ours lab/s", "peer lab/s",
            "ours CPU s/l", "peer CPU s/l", "ours MiB", "peer MiB", "ours meets: speed CPU memory"
        n = split(sizes, size, " ")
        for (i = 1; i <= n; i++) {
            o = "ours " size[i]; p = "peer " size[i]; meets = "-"
            if (ok[o] && ok[p])
                meets = sprintf("%-5s %-3s %s", verdict(median(o, 3) >= median(p, 3)),
                    verdict(median(o, 4) <= median(p, 4)), verdict(median(o, 5) <= median(p, 5) + 2))
            printf "%6d | %10s %10s | %12s %12s | %8s %8s | %s\n", size[i], cell(o, 3, "%.1f"), cell(p, 3, "%.1f"),
                cell(o, 4, "%.5f"), cell(p, 4, "%.5f"), cell(o, 5, "%.1f"), cell(p, 5, "%.1f"), meets
        }
        for (k in died) printf "%s: the server died or hung in %d of %d runs\n", k, died[k], runs
    }' "$work/results"
