#!/usr/bin/env bash
# Installs what building (and, with "test", testing) Skyhaul needs on Debian 12, skipping what is there.
# Usage: scripts/deps.sh [build|test] BUILD_DIR
set -euo pipefail
mode=${1:-build}
build_dir=${2:-build}

build_pkgs=(cmake g++ make qt6-base-dev libgl-dev libssl-dev)
test_pkgs=(vsftpd python3-pyftpdlib python3-openssl openssl curl xvfb xauth procps iproute2 passwd)
# The benchmarks' peers (bench/, run by hand).
test_pkgs+=(lftp)
# The sanitizer build and the fuzzers: clang with its sanitizer and libFuzzer runtimes.
test_pkgs+=(clang libclang-rt-14-dev)
# The install tests (tests/install): the validators of the desktop entry and the AppStream metadata, xwininfo to
# see the installed program's window, dpkg-shlibdeps for the package's Depends.
test_pkgs+=(desktop-file-utils appstream x11-utils dpkg-dev)
# The format and tidy checks (scripts/check-format, scripts/check-tidy): Debian 12's clang-format and clang-tidy.
test_pkgs+=(clang-format clang-tidy)
# The desktop's default application of a file type (View and Edit): xdg-mime.
test_pkgs+=(xdg-utils)
# Shared libraries the unpacked proftpd and pure-ftpd binaries load (their packages' Depends, minus what the
# base system always has).
test_pkgs+=(libhiredis0.14 libmemcached11 libmemcachedutil2 libpcre2-posix3 libsodium23)
# proftpd and pure-ftpd conflict with vsftpd as installed packages; their .debs are unpacked into the build folder.
unpacked_pkgs=(proftpd-core proftpd-mod-crypto pure-ftpd)

want=("${build_pkgs[@]}")
[ "$mode" = test ] && want+=("${test_pkgs[@]}")

missing=()
for p in "${want[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
updated=no
apt_update() {
    if [ $updated = no ]; then
        "${sudo_cmd[@]}" apt-get update -qq
        updated=yes
    fi
}

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    apt_update
    # The FTP servers run only inside the tests, on ports of their own: keep vsftpd's system service from
    # starting (and listening on port 21) while it is installed.
    blocker=""
    if [ ! -e /usr/sbin/policy-rc.d ]; then
        blocker=/usr/sbin/policy-rc.d
        trap '"${sudo_cmd[@]}" rm -f "$blocker"' EXIT
        printf '#!/bin/sh\nexit 101\n' | "${sudo_cmd[@]}" tee "$blocker" >/dev/null
        "${sudo_cmd[@]}" chmod 755 "$blocker"
    fi
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
    if [ -n "$blocker" ]; then
        "${sudo_cmd[@]}" rm -f "$blocker"
        trap - EXIT
    fi
    if printf '%s\n' "${missing[@]}" | grep -qx vsftpd && [ -d /run/systemd/system ]; then
        "${sudo_cmd[@]}" systemctl disable --now vsftpd >/dev/null 2>&1 || true
    fi
fi

if [ "$mode" = test ]; then
    servers="$build_dir/servers"
    mkdir -p "$servers/debs"
    for p in "${unpacked_pkgs[@]}"; do
        if [ ! -f "$servers/.$p.unpacked" ]; then
            apt_update
            (cd "$servers/debs" && rm -f "${p}"_*.deb && apt-get download -qq -o APT::Sandbox::User=root "$p" </dev/null)
            dpkg-deb -x "$servers"/debs/"${p}"_*.deb "$servers/root"
            touch "$servers/.$p.unpacked"
        fi
    done
fi
