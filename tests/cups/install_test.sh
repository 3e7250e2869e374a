#!/bin/bash
# The staged installation and the Debian package hold the filter, mode 0755,
# where CUPS keeps its filters and the 31 PPDs where it looks for drivers;
# the package also the Printer Application, its manual page and its systemd
# unit, and depends on the PAPPL library. The package is left in
# BUILD_DIR/package for the test that installs it:
#   install_test.sh BUILD_DIR
. "$(dirname "$0")/lib.sh"
build=$1
scratch install
filter=$cupsbin/filter/zaridiravid ppddir=/usr/share/ppd/zaridiravid

DESTDIR=$tmp/stage cmake --install "$build" > "$tmp/log" 2>&1 || { fail "cmake --install"; cat "$tmp/log" >&2; }
expect "staged filter mode, PPDs" \
    "$(stat -c %a "$tmp/stage$filter" 2>&1), $(ls "$tmp/stage$ppddir" | grep -c '^ravi[0-9]*\.ppd$')" "755, 31"

rm -rf "$build/package"
timeout 300 cpack -G DEB --config "$build/CPackConfig.cmake" -B "$build/package" > "$tmp/log" 2>&1 ||
    { fail "cpack -G DEB"; tail -20 "$tmp/log" >&2; exit 1; }
rm -rf "$build/package/_CPack_Packages"
deb=$(ls "$build"/package/*.deb)
contents=$(dpkg-deb -c "$deb")
expect "packaged filter" "$(awk -v f=".$filter" '$6 == f { print $1, $2 }' <<< "$contents")" "-rwxr-xr-x root/root"
expect "packaged PPDs" "$(grep -c " \.$ppddir/ravi[0-9]*\.ppd$" <<< "$contents")" 31
expect "packaged Printer Application" "$(grep -oE ' \./(usr/bin/zaridiravid-app|usr/share/man/man8/zaridiravid-app\.8|lib/systemd/system/zaridiravid-app\.service)$' <<< "$contents" | sort | xargs)" \
    "./lib/systemd/system/zaridiravid-app.service ./usr/bin/zaridiravid-app ./usr/share/man/man8/zaridiravid-app.8"
expect "package depends" "$(dpkg-deb -f "$deb" Depends | grep -oE '\<lib(cups(image)?2|pappl1)\>' | sort | xargs)" \
    "libcups2 libcupsimage2 libpappl1"
[ "$failures" -eq 0 ]
