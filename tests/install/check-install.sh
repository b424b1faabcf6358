#!/usr/bin/env bash
# Installs Skyhaul as a user would get it and checks what lands there, then starts the installed program under
# Xvfb and sees its window.
#   check-install.sh prefix  BUILD_DIR APP_ID   cmake --install into a temporary prefix
#   check-install.sh package BUILD_DIR APP_ID   cpack -G DEB, the package's fields and files, dpkg -i into a
#                                                throwaway root
set -euo pipefail
mode=$1
build=$(cd "$2" && pwd)
app_id=$3
icon_sizes=(16 32 48 64 128 256)

scratch=$(mktemp -d)
xvfb_pid=""
app_pid=""
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null && wait "$app_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# The files of an installed Skyhaul under ROOT/PREFIX, and the validators' verdicts on them.
check_tree() {
    local base=$1
    [ -x "$base/bin/skyhaul" ] || fail "no program at $base/bin/skyhaul"
    local entry="$base/share/applications/$app_id.desktop"
    [ -f "$entry" ] || fail "no desktop entry $entry"
    desktop-file-validate "$entry" || fail "desktop-file-validate rejects $entry"
    grep -qx "Icon=$app_id" "$entry" || fail "the desktop entry names another icon"
    grep -qx "Exec=skyhaul" "$entry" || fail "the desktop entry starts another program"
    local svg="$base/share/icons/hicolor/scalable/apps/$app_id.svg"
    [ -s "$svg" ] || fail "no scalable icon $svg"
    grep -q '<svg' "$svg" || fail "$svg is no SVG"
    for size in "${icon_sizes[@]}"; do
        local png="$base/share/icons/hicolor/${size}x${size}/apps/$app_id.png"
        [ -s "$png" ] || fail "no icon $png"
        # The PNG header carries width and height as 32-bit big-endian numbers at bytes 16 and 20.
        local dims
        dims=$(od -An -tu1 -j16 -N8 "$png" | awk '{print $3*256+$4 "x" $7*256+$8}')
        [ "$dims" = "${size}x${size}" ] || fail "$png is $dims, not ${size}x${size}"
    done
    local meta="$base/share/metainfo/$app_id.metainfo.xml"
    [ -f "$meta" ] || fail "no AppStream metadata $meta"
    appstreamcli validate --no-net "$meta" || fail "appstreamcli rejects $meta"
    grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$meta" ||
        fail "the metadata does not launch the desktop entry"
    # The language files, where the installed program looks for them (share/skyhaul beside bin).
    for language in English French German; do
        local ini="$base/share/skyhaul/Languages/$language.ini"
        [ -s "$ini" ] || fail "no language file $ini"
        grep -q '^\[RemoteForm\]' "$ini" || fail "$ini holds no RemoteForm section"
    done
    echo "ok: program, desktop entry, icons, metadata and language files under $base"
}

start_xvfb() {
    local fdfile="$scratch/display"
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$fdfile" 2>"$scratch/xvfb.log" &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [ -s "$fdfile" ] && break
        kill -0 "$xvfb_pid" 2>/dev/null || fail "Xvfb did not start: $(cat "$scratch/xvfb.log")"
        sleep 0.1
    done
    [ -s "$fdfile" ] || fail "Xvfb gave no display"
    export DISPLAY=":$(head -n1 "$fdfile")"
    # The program starts only once the display answers; a server that went away says why.
    for _ in $(seq 100); do
        xwininfo -root >/dev/null 2>&1 && return
        kill -0 "$xvfb_pid" 2>/dev/null || fail "Xvfb ended: $(cat "$scratch/xvfb.log")"
        sleep 0.1
    done
    fail "display $DISPLAY does not answer: $(cat "$scratch/xvfb.log")"
}

# Starts the installed program as a new user would (empty home), waits for its window "Skyhaul", and checks
# where it keeps its data files: the user's data folder, never beside the installed program; with a second
# argument, the folder SKYHAUL_DATA_DIR names, and nothing in the user's folder.
run_installed() {
    local program=$1
    local chosen=${2:-}
    local home="$scratch/home"
    rm -rf "$home"
    mkdir -p "$home"
    local before
    before=$(ls -A "$(dirname "$program")")
    local chosen_env=()
    [ -z "$chosen" ] || chosen_env=("SKYHAUL_DATA_DIR=$chosen")
    env "${chosen_env[@]}" HOME="$home" XDG_DATA_HOME="$home/.local/share" \
        XDG_CONFIG_HOME="$home/.config" XDG_RUNTIME_DIR="$scratch" \
        QT_QPA_PLATFORM=xcb "$program" >"$scratch/app.out" 2>"$scratch/app.err" &
    app_pid=$!
    local shown=no
    for _ in $(seq 300); do
        kill -0 "$app_pid" 2>/dev/null ||
            fail "the program ended early: $(cat "$scratch/app.err")
Xvfb $(kill -0 "$xvfb_pid" 2>/dev/null && echo running || echo gone) on $DISPLAY: $(cat "$scratch/xvfb.log")"
        if xwininfo -root -tree 2>/dev/null | grep -q '"Skyhaul"'; then
            shown=yes
            break
        fi
        sleep 0.1
    done
    [ $shown = yes ] || fail "no window \"Skyhaul\" within 30 s: $(cat "$scratch/app.err")"
    kill "$app_pid"
    wait "$app_pid" 2>/dev/null || true
    app_pid=""
    local data="$home/.local/share/Skyhaul"
    if [ -n "$chosen" ]; then
        [ ! -e "$data" ] || fail "the program made $data although SKYHAUL_DATA_DIR names $chosen"
        data=$chosen
    fi
    [ -d "$data" ] || fail "no data folder $data"
    grep -qF "data files" "$scratch/app.err" || fail "the first start did not say where the data files go"
    grep -qF "$data" "$scratch/app.err" || fail "the first start named another folder: $(cat "$scratch/app.err")"
    [ "$(ls -A "$(dirname "$program")")" = "$before" ] || fail "the program wrote beside itself"
    echo "ok: $program showed its window; data files in $data"
}

case "$mode" in
prefix)
    prefix="$scratch/prefix"
    cmake --install "$build" --prefix "$prefix" >/dev/null
    check_tree "$prefix"
    start_xvfb
    run_installed "$prefix/bin/skyhaul"
    run_installed "$prefix/bin/skyhaul" "$scratch/chosen data"
    ;;
package)
    (cd "$scratch" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log") ||
        fail "cpack: $(cat "$scratch/cpack.log")"
    shopt -s nullglob
    debs=("$scratch"/out/skyhaul_*.deb)
    [ ${#debs[@]} -eq 1 ] || fail "expected one skyhaul_*.deb, got: ${debs[*]:-none}"
    deb=${debs[0]}
    echo "package: $(basename "$deb")"
    [ "$(dpkg-deb -f "$deb" Package)" = skyhaul ] || fail "package name"
    depends=$(dpkg-deb -f "$deb" Depends)
    echo "Depends: $depends"
    for lib in libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libssl3; do
        grep -qE "(^|, )$lib( |,|$)" <<<"$depends" || fail "Depends lacks $lib"
    done
    contents=$(dpkg-deb --contents "$deb" | awk '{print $6}')
    for path in ./usr/bin/skyhaul "./usr/share/applications/$app_id.desktop" \
        "./usr/share/metainfo/$app_id.metainfo.xml" "./usr/share/icons/hicolor/scalable/apps/$app_id.svg" \
        ./usr/share/skyhaul/Languages/English.ini ./usr/share/skyhaul/Languages/German.ini \
        ./usr/share/skyhaul/Languages/French.ini; do
        grep -qxF "$path" <<<"$contents" || fail "the package lacks $path"
    done
    # Only the program and its desktop files: nothing of the build or the tests.
    strays=$(grep -vE '^\./usr/(|bin/|bin/skyhaul|share/|share/(applications|metainfo|icons|skyhaul)/.*)$' <<<"$contents" ||
        true)
    [ -z "$strays" ] || fail "the package holds other files: $strays"
    # apt resolves the package's dependencies on this system (a dry run changes nothing).
    if command -v apt-get >/dev/null; then
        apt-get install --simulate -qq "$deb" >"$scratch/apt.log" 2>&1 || fail "apt-get: $(cat "$scratch/apt.log")"
    fi
    # Installed into a throwaway root with its own package database.
    root="$scratch/root"
    mkdir -p "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/info"
    touch "$root/var/lib/dpkg/status"
    dpkg --root="$root" --force-depends --force-script-chrootless -i "$deb" >"$scratch/dpkg.log" 2>&1 ||
        fail "dpkg -i: $(cat "$scratch/dpkg.log")"
    dpkg --root="$root" -s skyhaul | grep -q '^Status: install ok installed' || fail "dpkg does not list skyhaul"
    check_tree "$root/usr"
    start_xvfb
    run_installed "$root/usr/bin/skyhaul"
    ;;
*)
    fail "unknown mode $mode"
    ;;
esac
