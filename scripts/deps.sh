#!/bin/sh
# Installs what building, testing and the sample job need (Debian 12, as root).
set -e
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends \
    g++ cmake make pkg-config \
    libcups2-dev libcupsimage2-dev cups cups-client cups-filters cups-ppdc cups-bsd \
    libpam0g-dev libpappl-dev cups-ipp-utils libavahi-client-dev avahi-daemon avahi-utils dbus \
    googletest libgtest-dev libbenchmark-dev libpng-dev \
    netpbm poppler-utils ghostscript valgrind clang libclang-rt-14-dev time \
    chromium chromium-driver python3-selenium iproute2 curl >/dev/null
