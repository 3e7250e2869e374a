#!/bin/bash
# Installation into a staging directory and the Debian package from CPack:
#   install_test.sh BUILD_DIR
# Both must hold the filter in CUPS's filter directory, mode 0755, and the 31
# PPDs where CUPS's driver listing finds them.
set -u
here=$(dirname "$0")
. "$here/lib.sh"
build=$1
make_tmpdir install
trap 'rm -rf "$tmp"' EXIT
filter=$(cups-config --serverbin 2>/dev/null || echo /usr/lib/cups)/filter/zaridiravid
ppddir=/usr/share/ppd/zaridiravid

if DESTDIR=$tmp/stage cmake --install "$build" > "$tmp/install.log" 2>&1; then
    expect_same "installed filter mode" "$(stat -c '%a %U' "$tmp/stage$filter" 2>&1)" "755 $(id -un)"
    expect_same "installed PPDs" "$(ls "$tmp/stage$ppddir" | grep -c '^ravi[0-9]*\.ppd$')" 31
    # CUPS's driver lister, seeing the staged PPDs in place of the system's
    # (a bind mount in a mount namespace of its own), lists every model.
    if unshare -m true 2>/dev/null; then
        mkdir -p "$tmp/cache"
        unshare -m sh -c 'mount --bind "$1/usr/share/ppd" /usr/share/ppd &&
            CUPS_CACHEDIR="$2" "$3/daemon/cups-driverd" list 1 0 ""' sh "$tmp/stage" "$tmp/cache" \
            "$(cups-config --serverbin)" > "$tmp/drivers" 2> "$tmp/drivers.log"
        expect_same "models listed by cups-driverd" \
            "$(LC_ALL=C grep -aoE 'lsb/usr/zaridiravid/ravi[0-9]+\.ppd' "$tmp/drivers" | sort -u | wc -l)" 31
    else
        echo "skipped: the driver listing needs unshare -m (root)"
    fi
else
    fail "cmake --install"; cat "$tmp/install.log" >&2
fi

if timeout 300 cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/package" > "$tmp/cpack.log" 2>&1; then
    deb=$(ls "$tmp"/package/*.deb)
    dpkg-deb -c "$deb" > "$tmp/contents"
    expect_same "packaged filter" "$(awk -v f=".$filter" '$6 == f { print $1, $2 }' "$tmp/contents")" \
        "-rwxr-xr-x root/root"
    expect_same "packaged PPDs" "$(grep -c " \.$ppddir/ravi[0-9]*\.ppd$" "$tmp/contents")" 31
    depends=$(dpkg-deb -f "$deb" Depends)
    for lib in libcups2 libcupsimage2; do
        case ", $depends," in *", $lib,"*) pass "depends on $lib" ;; *) fail "no $lib in [$depends]" ;; esac
    done
else
    fail "cpack -G DEB"; tail -20 "$tmp/cpack.log" >&2
fi
[ "$failures" -eq 0 ] || exit 1
