# Shared pieces of the Printer Application's tests and bench (bash, sourced
# after tests/cups/lib.sh, whose fail, expect, scratch and wait_for they use).
# A PAPPL server on a free loopback port, printing to a loopback "printer"
# that keeps what it receives, and the documents CUPS's IPP test suites print.

# own_network SCRIPT ARG...: runs the test script again in network and
# mount namespaces of its own with only loopback up (as root; else the test
# is skipped): the app's pages that look for printers send SNMP broadcasts
# on every network they see.
own_network() {
    [ "$(id -u)" -eq 0 ] || { echo "skipped: a network namespace needs root"; exit 77; }
    [ -n "${ZARIDIRAVID_OWN_NETWORK-}" ] || ZARIDIRAVID_OWN_NETWORK=1 exec unshare --net --mount bash "$@"
    ip link set lo up
}

# own_app APP: $app, APP under a name of this test's own: PAPPL's
# sub-commands find a local server by the program's name, through its local
# socket, the one way (as root or the admin group) to administer a server
# that has no login.
own_app() {
    app=$tmp/zaridiravid-app-$$ own_run=/run/zaridiravid-app-$$
    ln -s "$(realpath "$1")" "$app"
}

# app_scratch NAME APP: the test's scratch directory $tmp (app-NAME), cleaned
# up with the servers when the test ends, $app as own_app makes it, and the
# working directory $tmp.
app_scratch() {
    scratch "app-$1"
    cleanup() { stop_servers; rm -rf "$tmp"; }
    own_app "$2"
    cd "$tmp" || exit 1
}

# free_port: a TCP port the kernel has just handed out and taken back.
free_port() {
    perl -MIO::Socket::INET -e 'print IO::Socket::INET->new(Listen => 1, LocalAddr => "127.0.0.1")->sockport'
}

# listen OUT [PORT]: a printer on 127.0.0.1:$devport (PORT, or a free one;
# pid $listener) that appends every connection's bytes to OUT.
listen() {
    rm -f "$tmp/devport"
    perl -MIO::Socket::INET -e '
        my $s = IO::Socket::INET->new(Listen => 5, LocalAddr => "127.0.0.1", LocalPort => $ARGV[2], ReuseAddr => 1)
            or die "listen: $!";
        open(my $out, ">>", $ARGV[0]) or die "$ARGV[0]: $!";
        binmode $out; $out->autoflush(1);
        open(my $p, ">", "$ARGV[1].new") or die; print $p $s->sockport; close $p; rename "$ARGV[1].new", $ARGV[1];
        while (my $c = $s->accept) { my $b; print $out $b while sysread($c, $b, 65536); close $c }' \
        "$1" "$tmp/devport" "${2:-0}" &
    listener=$!
    servers+=("$listener")
    wait_for 10 '[ -s "$tmp/devport" ]' || { fail "listener"; return 1; }
    devport=$(cat "$tmp/devport")
}

# start_server PROGRAM DIR [OPTION...]: PROGRAM's server on $port (pid
# $server), its spool, state and log in DIR. stop_servers ends it and the
# listeners.
servers=()
start_server() {
    local prog=$1 dir=$2
    shift 2
    mkdir -p "$dir/spool"
    port=$(free_port)
    "$prog" server -o server-port="$port" -o listen-hostname=localhost -o spool-directory="$dir/spool" \
        -o state-file="$dir/state" -o log-file="$dir/log" -o log-level=debug "$@" &
    server=$!
    servers+=("$server")
    wait_for 20 'alive "$prog"' || { fail "$prog server"; return 1; }
}
# add PROGRAM NAME DRIVER: printer NAME of driver DRIVER on the listener,
# added on the local socket, $uri its URI.
add() {
    uri=ipp://localhost:$port/ipp/print/$2
    "$1" add -d "$2" -v "socket://127.0.0.1:$devport" -m "$3" || { fail "$1 add"; return 1; }
}
# serve PROGRAM NAME DRIVER [OPTION...]: the server, its files in $tmp/NAME,
# with printer NAME.
serve() { start_server "$1" "$tmp/$2" "${@:4}" && add "$1" "$2" "$3"; }
# local_socket: the server's local socket as a URI's host, for IPP
# administration without a login (as root).
local_socket() { local s=$own_run/${app##*/}.sock; echo "${s//\//%2F}"; }
alive() { "$1" status -u "ipp://localhost:$port" > /dev/null 2>&1; }
stop_servers() {
    local p
    for p in "${servers[@]}"; do kill "$p" 2>/dev/null; done
    for p in "${servers[@]}"; do wait_for 5 '! kill -0 "$p" 2>/dev/null' || kill -9 "$p" 2>/dev/null; done
    servers=()
    [ -z "${own_run-}" ] || rm -rf "$own_run"  # the server's socket directory
    [ -z "${login-}" ] || { rm -f "/etc/pam.d/$login"; userdel "$login" 2> /dev/null; login=; }
}

# own_login GROUP: PAM service $login checking passwords (pam_unix) and
# user $login of password $password in GROUP (as root; else the test is
# skipped); gone with stop_servers. $auth is the server's option for it.
own_login() {
    [ "$(id -u)" -eq 0 ] || { echo "skipped: a test user needs root"; exit 77; }
    login=zaridiravid-t$$ password=pw-$$-$RANDOM auth="-o auth-service=zaridiravid-t$$"
    printf 'auth required pam_unix.so\naccount required pam_unix.so\n' > "/etc/pam.d/$login"
    useradd -M -N -g nogroup -G "$1" -s /usr/sbin/nologin "$login" && echo "$login:$password" | chpasswd ||
        { fail "useradd"; exit 1; }
}

# The labels of the tests that compare the app's bytes with the filter's
# ($filter, the PPDs in $ppds), printed by the app's server as $app.
# label NAME WIDTH HEIGHT DPI PAGES TYPE [COPIES]: PAGES test labels of WIDTH x
# HEIGHT points: rules, squares and diagonals drawn in the device's dots
# from 4 rows below the top left corner (Ghostscript's CUPS raster leaves out
# the top rows of a page whose height is no whole number of points). NAME.ras
# is the CUPS raster CUPS makes from the PPD for the filter, COPIES copies,
# NAME.doc the document for the app, TYPE black_1 or sgray_8 (PWG raster) or
# png (a 1-bit PNG).
label() {
    local p
    for ((p = 0; p < $5; p++)); do
        printf '%s\n' "<< /PageSize [$2 $3] >> setpagedevice [1 0 0 1 0 4] setmatrix" \
            "$((8 * p)) 40 4000 { 0 exch 4000 8 rectfill } for 2 setlinewidth" \
            "0 32 4000 { /x exch def 0 32 4000 { x exch 16 16 rectfill } for } for" \
            "0 37 8000 { 0 moveto -4000 4000 rlineto } for stroke showpage"
    done > "$1.ps"
    render "$1.ras" "$4" -sDEVICE=cups -dcupsColorSpace=3 -dcupsBitsPerColor=1 -dNumCopies="${7:-1}"
    case $6 in
    black_1) render "$1.doc" "$4" -sDEVICE=pwgraster -dcupsColorSpace=3 -dcupsBitsPerColor=1 ;;
    sgray_8) render "$1.doc" "$4" -sDEVICE=pwgraster -dcupsColorSpace=18 -dcupsBitsPerColor=8 ;;
    png) render "$1.doc" "$4" -sDEVICE=pngmono ;;
    esac
}
# render OUT DPI OPTION...: the label's PostScript through Ghostscript.
render() {
    gs -q -dNOPAUSE -dBATCH -dSAFER -r"$2" -sOutputFile="$1" "${@:3}" "${1%.*}.ps" > "$1.log" 2>&1 ||
        { fail "gs $1"; cat "$1.log" >&2; }
}
# want NAME MODEL [OPTIONS]: what the filter writes for NAME.ras with the
# model's PPD and the job options.
want() { PPD=$ppds/ravi$2.ppd "$filter" 1 u t 1 "${3-}" "$1.ras" > "$1.want" 2> /dev/null || fail "filter $1"; }

# printer NAME MODEL [SETTING...]: printer NAME of the model on a listener
# of its own that appends to NAME.prn, its settings set with `modify`.
printer() {
    listen "$1.prn" && add "$app" "$1" "ravi$2" || return 1
    [ $# -eq 2 ] || "$app" modify -d "$1" "${@:3}" || fail "modify $*"
}
# submit PRINTER DOC [OPTION...]: a job; what the printer's listener has so
# far is left out of what it got.
declare -A before
submit() {
    before[$1]=$(stat -c %s "$1.prn")
    "$app" submit -u "ipp://localhost:$port/ipp/print/$1" "${@:3}" "$2" > /dev/null || fail "submit to $1: $*"
}
# got PRINTER WANT: once the printer is idle with as many bytes as WANT
# holds, its listener got WANT's bytes; else where they part, and each one's
# first label job block.
got() {
    local out=$1.prn uri=ipp://localhost:$port/ipp/print/$1 size=$((before[$1] + $(stat -c %s "$2")))
    wait_for 30 '[ "$(stat -c %s "$out")" -ge "$size" ] && "$app" status -u "$uri" | grep -q "idle since"'
    tail -c +$((before[$1] + 1)) "$out" > "$1.got"
    cmp "$1.got" "$2" >&2 ||
        { fail "$1 got another stream than $2"; diff <(part "$1.got" 1 block) <(part "$2" 1 block) >&2; }
}

# next_label PRINTER: waits for the printer's first whole label after the
# before[PRINTER] bytes its listener had; its bytes in PRINTER.got.
next_label() {
    local p=$1
    wait_for 30 'tail -c +$((before[$p] + 1)) "$p.prn" > "$p.got" && part "$p.got" 1 block | grep -q "^A[0-9]"' ||
        fail "no label on $p"
}

# needs_browser: skips the test without headless Chromium and Selenium.
needs_browser() {
    local need
    for need in /usr/bin/chromium /usr/bin/chromedriver; do
        [ -x "$need" ] || { echo "skipped: needs $need"; exit 77; }
    done
    /usr/bin/python3 -c 'import selenium' 2> /dev/null || { echo "skipped: needs python3-selenium"; exit 77; }
}
# web COMMAND ARG...: web.py's COMMAND on the server at $port, logged in
# as $login if there is one.
web() { timeout 120 /usr/bin/python3 "$here/web.py" "$1" "http://${login:+$login:$password@}localhost:$port" "${@:2}"; }

# samples DPI: in the current directory, every document CUPS's IPP Everywhere
# suite names (with the IPP/1.1 and 2.x suites it includes): PDF, PostScript
# and JPEG documents, and the PWG raster samples at DPI in each colour type.
# The suite reads every file it names, also for the tests it skips, so the
# samples at other resolutions are empty files that no printer here is sent.
samples() {
    local dpi=$1 size w h n f type sheet gs=(gs -q -dNOPAUSE -dBATCH -dSAFER)
    for size in a4:595:842 letter:612:792 4x6:288:432; do
        IFS=: read -r size w h <<< "$size"
        for n in 1 2; do
            sheet=$( ((n == 1)) && echo onepage || echo document)-$size
            printf '%s\n' '%!PS' "<< /PageSize [$w $h] >> setpagedevice" '/Helvetica findfont 24 scalefont setfont' \
                "1 1 $n { 1 0 0 setrgbcolor 18 18 $w 36 sub $h 36 sub rectstroke 0 0 1 setrgbcolor" \
                "36 36 $((w / 3)) $((h / 4)) rectfill 0 setgray 36 $h 72 sub moveto (Page ) show" \
                '3 string cvs show showpage } for' > "$sheet.ps" && ps2pdf "$sheet.ps"
        done
    done
    "${gs[@]}" -sDEVICE=jpeg -r50 -sOutputFile=color.jpg onepage-4x6.ps
    "${gs[@]}" -sDEVICE=jpeggray -r50 -sOutputFile=gray.jpg onepage-4x6.ps
    grep -ho 'pwg-raster-samples-[^ ]*\.pwg' /usr/share/cups/ipptool/ipp-everywhere.test | sort -u |
        while read -r f; do
            mkdir -p "${f%/*}"
            type=${f#*dpi/} type=${type%%/*} sheet=${f##*/} sheet=${sheet%%-"$type"-*}
            sheet=${sheet/#*.jpg-/onepage-}
            [ "$f" != "${f#pwg-raster-samples-"$dpi"dpi/}" ] || { : > "$f"; continue; }
            case "$type" in
            black-1) set -- 3 1 ;; sgray-8) set -- 18 8 ;; srgb-8) set -- 19 8 ;; srgb-16) set -- 19 16 ;;
            cmyk-8) set -- 6 8 ;; *) fail "sample $f"; continue ;;
            esac
            "${gs[@]}" -sDEVICE=pwgraster -r"$dpi" -dcupsColorSpace="$1" -dcupsBitsPerColor="$2" \
                -sOutputFile="$f" "$sheet.ps" > /dev/null 2>&1 || fail "sample $f"
        done
}

# suite OUT: CUPS's IPP Everywhere suite against $uri, its report in OUT, run
# where samples left the documents (color.jpg is the suite's own file).
# PAPPL counts printer-up-time in whole seconds from the printer's creation,
# and the suite wants it above 0: the suite waits for the first second.
suite() {
    wait_for 10 'ipptool -tv "$uri" get-printer-attributes.test | grep -q "printer-up-time (integer) = [1-9]"'
    ipptool -I -t -f color.jpg "$uri" ipp-everywhere.test > "$1" 2>&1
    grep -E '^ipptool: ' "$1" >&2 && fail "ipptool stopped"
    expect "tests run" "$(grep -cE '\[(PASS|FAIL|SKIP)\]$' "$1")" \
        "$(cat /usr/share/cups/ipptool/{ipp-1.1,ipp-2.0,ipp-everywhere}.test | grep -cE '^\s*NAME ')"
}

# failures REPORT: each failed test's name, then its name with each EXPECTED
# line of the report.
failures() {
    awk '/^    [^ ].*\[(PASS|FAIL|SKIP)\]$/ { name = $0; sub(/^ +/, "", name); sub(/ *\[[A-Z]+\]$/, "", name)
                                               failed = /\[FAIL\]$/; if (failed) print name; next }
         failed && /^        EXPECTED: / { line = $0; sub(/^ +/, "", line); print name ": " line }' "$1"
}

# summary REPORT: the counts, the failed tests and what they expected.
summary() {
    local n
    for n in PASS FAIL SKIP; do printf '%s %s  ' "$(grep -cE "\[$n\]$" "$1")" "$n"; done
    echo
    failures "$1" | sed 's/^.*: EXPECTED: /      EXPECTED: /; /^      /!s/^/  failed: /'
}
