#!/usr/bin/env bash
# The Debian package as a user gets it. Builds it from the build tree given,
# checks its dependencies and contents, installs it and starts Ostrel the way
# the desktop menu does, on a private X server (Xvfb), where the test sees the
# windows come up:
# - run as root in CI (CI set), it is installed on this machine with apt-get
#   and purged afterwards, when that changes nothing else (the package is not
#   installed already and every dependency is present);
# - otherwise it is unpacked into a throwaway root and started from there.
set -euo pipefail

build="$(readlink -f "$1")"
work="$(mktemp -d)"
running=()
cleanup() {
    for pid in "${running[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
export DEBIAN_FRONTEND=noninteractive LANG=C.UTF-8

# A private X server; it picks a free display number itself.
Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp 5>"$work/display" 2>"$work/xvfb.log" &
running+=($!)
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
[ -s "$work/display" ] || { cat "$work/xvfb.log"; fail "Xvfb did not start"; }
export DISPLAY=":$(head -n1 "$work/display")"
unset XAUTHORITY

# --- the package ---------------------------------------------------------------
cmake --build "$build" --target ostrel ostrel_icons >/dev/null
cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack"; }
debs=("$work"/out/ostrel_*_*.deb)
deb="${debs[0]}"
[ -f "$deb" ] || fail "no ostrel_*.deb made"
echo "package: $(basename "$deb")"

[ "$(dpkg-deb -f "$deb" Package)" = ostrel ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = 1.6.4 ] || fail "version"
depends="$(dpkg-deb -f "$deb" Depends)"
echo "Depends: $depends"
echo "Recommends: $(dpkg-deb -f "$deb" Recommends)"
names="$(tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/[ (|].*//')"
for dep in libqt6core6 libqt6gui6 libqt6widgets6 libcups2 libc6 libstdc++6 \
    qt6-qpa-plugins libqt6svg6 qt6-translations-l10n fontconfig; do
    grep -Fxq "$dep" <<<"$names" || fail "Depends lacks $dep"
done
grep -q "fonts-ipafont-gothic | fonts-noto-cjk" <<<"$depends" || fail "Depends lacks a Japanese Gothic font"

contents="$(dpkg-deb -c "$deb")"
for path in ./usr/bin/ostrel ./usr/bin/ostrel-launch \
    ./usr/share/applications/org.ostrel.Ostrel.desktop \
    ./usr/share/metainfo/org.ostrel.Ostrel.metainfo.xml \
    ./usr/share/icons/hicolor/scalable/apps/org.ostrel.Ostrel.svg \
    ./usr/share/icons/hicolor/16x16/apps/org.ostrel.Ostrel.png \
    ./usr/share/icons/hicolor/32x32/apps/org.ostrel.Ostrel.png \
    ./usr/share/icons/hicolor/48x48/apps/org.ostrel.Ostrel.png \
    ./usr/share/icons/hicolor/256x256/apps/org.ostrel.Ostrel.png \
    ./usr/share/fontconfig/conf.avail/30-ostrel-japanese-gothic.conf \
    ./usr/share/doc/ostrel/copyright \
    "./etc/fonts/conf.d/30-ostrel-japanese-gothic.conf -> ../../../usr/share/fontconfig/conf.avail/30-ostrel-japanese-gothic.conf"; do
    grep -qF " $path" <<<"$contents" || fail "the package lacks $path"
done
grep -E ' \./usr/bin/ostrel(-launch)?$' <<<"$contents" | grep -qv '^-rwxr-xr-x root/root' &&
    fail "programs not executable or not owned by root"

# --- installed -------------------------------------------------------------------
mode=unpacked
if [ "$(id -u)" -eq 0 ] && [ -n "${CI:-}" ]; then
    exec 9>/var/lock/ostrel-package-test.lock
    flock -w 600 9 || fail "another package test holds the lock"
    if dpkg-query -W -f='${Status}' ostrel 2>/dev/null | grep -q "ok installed"; then
        echo "ostrel is installed on this machine already: checking an unpacked copy instead"
    elif apt-get install -s "$deb" 2>/dev/null | grep '^Inst ' | grep -qv '^Inst ostrel '; then
        echo "installing would add other packages: checking an unpacked copy instead"
    else
        mode=system
    fi
fi

root="$work/root"
if [ $mode = system ]; then
    root=""
    purge() { apt-get purge -y -qq ostrel >/dev/null 2>&1 || true; }
    trap 'cleanup; purge' EXIT
    apt-get install -y -qq "$deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get install"; }
    dpkg-query -W -f='${Status}' ostrel | grep -q "ok installed" || fail "not installed"
    # The machine's own fontconfig now knows the aliases.
    family="$(fc-match -f '%{family[0]}' "MS UI Gothic")"
    [ -n "$(fc-list ":family=$family:lang=ja" family)" ] || fail "MS UI Gothic resolves to $family"
    echo "installed with apt-get; MS UI Gothic resolves to $family"
else
    dpkg-deb -x "$deb" "$root"
    echo "unpacked into a throwaway root"
fi

# --- started from the menu entry ------------------------------------------------
desktop="$root/usr/share/applications/org.ostrel.Ostrel.desktop"
exec_line="$(sed -n 's/^Exec=//p' "$desktop")"
launcher="$root/usr/bin/$exec_line"
[ -x "$launcher" ] || fail "the menu entry runs '$exec_line', which is not installed"

# Waits until a window with the given title is mapped; prints its id.
wait_for_window() {
    local title="$1" id
    for _ in $(seq 100); do
        for id in $(xwininfo -root -tree | grep -F "\"$title\":" | awk '{print $1}'); do
            if xwininfo -id "$id" | grep -q "Map State: IsViewable"; then
                echo "$id"
                return 0
            fi
        done
        sleep 0.2
    done
    return 1
}
start() { # runs the launcher (or the command given) for the fresh user in the background
    env -i PATH=/usr/bin:/bin HOME="$work/home" DISPLAY="$DISPLAY" LANG=C.UTF-8 \
        QT_QPA_PLATFORM=xcb "${@:-$launcher}" >>"$work/ostrel.log" 2>&1 &
    running+=($!)
    pid=$!
}
stop() {
    kill "$pid"
    wait "$pid" 2>/dev/null || true
}
mkdir -p "$work/home"
data="$work/home/.local/share/ostrel"

# First start: the launcher makes the user's data folder, private, and Ostrel
# starts in it, telling that it creates its settings file there.
start
wait_for_window OSTREL >/dev/null || { cat "$work/ostrel.log"; fail "no first-start notice"; }
[ -d "$data" ] || fail "no data folder $data"
[ "$(stat -c %a "$data")" = 700 ] || fail "data folder mode $(stat -c %a "$data")"
[ "$(readlink -f "/proc/$pid/cwd")" = "$(readlink -f "$data")" ] ||
    fail "Ostrel runs in $(readlink -f "/proc/$pid/cwd"), not in $data"
stop

# With settings and a group of records, the main window comes up.
printf '[OSTREL2 for Windows98 ApplicationSettingData]\r\n' >"$data/Ostrel.ini"
mkdir -p "$data/メモ"
printf 'テスト\r\n' | iconv -f UTF-8 -t SHIFT_JIS >"$data/メモ/最初のメモ.txt"
start
wait_for_window "OSTREL ver 1.6.4" >/dev/null || { cat "$work/ostrel.log"; fail "no main window"; }
stop
echo "the menu entry started Ostrel in $data and showed its main window"

# Run by a relative path, the launcher still finds the program beside it.
(cd "$(dirname "$launcher")" && start "./$(basename "$launcher")" && echo "$pid" >"$work/pid")
pid="$(cat "$work/pid")"
running+=("$pid")
wait_for_window "OSTREL ver 1.6.4" >/dev/null || { cat "$work/ostrel.log"; fail "not started by a relative path"; }
[ "$(readlink -f "/proc/$pid/cwd")" = "$(readlink -f "$data")" ] || fail "a relative start runs elsewhere"
stop
echo "the launcher run by a relative path started Ostrel"

# A file, or a link to nothing, where the data folder should be: the user
# sees why in a box of Ostrel's (the menu shows no standard error), and
# nothing is made in its place or through the link.
mv "$data" "$work/kept-data"
for planted in file link; do
    if [ $planted = file ]; then
        printf 'not a folder\n' >"$data"
        expected="はフォルダではなくファイルです"
    else
        ln -s "$work/nowhere/ostrel" "$data"
        expected="へのリンクです"
    fi
    : >"$work/ostrel.log"
    start
    wait_for_window OSTREL >/dev/null || { cat "$work/ostrel.log"; fail "nothing shown for a $planted"; }
    grep -q "$expected" "$work/ostrel.log" || { cat "$work/ostrel.log"; fail "no word of the $planted"; }
    grep -qa OSTREL_LAUNCH_PROBLEM "/proc/$pid/environ" || fail "the box is not the launcher's word"
    stop
    [ ! -e "$work/nowhere" ] || fail "something was made through the link"
    rm -f "$data"
done
mv "$work/kept-data" "$data"
echo "a file or a dangling link in the data folder's place was shown to the user"

# --- removed --------------------------------------------------------------------
if [ $mode = system ]; then
    apt-get purge -y -qq ostrel >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get purge"; }
    trap cleanup EXIT
    ! dpkg-query -W -f='${Status}' ostrel 2>/dev/null | grep -q "ok installed" || fail "still installed"
    for f in /usr/bin/ostrel /usr/bin/ostrel-launch /usr/share/applications/org.ostrel.Ostrel.desktop \
        /etc/fonts/conf.d/30-ostrel-japanese-gothic.conf; do
        [ ! -e "$f" ] && [ ! -L "$f" ] || fail "$f left behind"
    done
    echo "purged cleanly"
fi
echo "PASS"
