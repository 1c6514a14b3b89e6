#!/usr/bin/env bash
# Takes the README's picture of the main window (docs/main-window.png, or the
# file given): builds the program, starts it on a private X server (Xvfb) in a
# temporary data folder of Japanese records, and captures its window.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$(realpath -m "${1:-$root/docs/main-window.png}")"
"$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" --target ostrel

work="$(mktemp -d)"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

# Shift-JIS with CR LF line breaks, as in a memo folder brought over from
# Windows: Ostrel reads these as well as UTF-8.
record() { # path, lines...
    local path="$work/data/$1"
    shift
    mkdir -p "$(dirname "$path")"
    printf '%s\r\n' "$@" | iconv -f UTF-8 -t CP932 >"$path"
}
record "仕事/打ち合わせ.txt" "12月10日 打ち合わせ" "" \
    "・来週の発表資料は金曜日までにまとめる" "・見積もりの数字を経理に確認する" \
    "・次回は 12月17日 14:00 から 第2会議室" "" "持ち物: ノートパソコン、資料の印刷"
record "仕事/週報.txt" "今週の作業" "・顧客一覧の整理" "・請求書の発行"
record "仕事/予定.txt" "12/12 出張" "12/17 打ち合わせ"
record "買い物/食料品.txt" "牛乳" "卵" "食パン"
record "日記/12月.txt" "初雪が降った。"
record "Ostrel.ini" "[OSTREL2 for Windows98 ApplicationSettingData]" \
    "WINDOW TOP=0" "WINDOW LEFT=0" "WINDOW HEIGHT=340" "WINDOW WIDTH=480" "FONT SIZE=9" \
    "BUCK COLOR=-2147483643" "FONT COLOR=-2147483640" \
    "LAST DIRECTORY=仕事" "LAST DOCUMENT=打ち合わせ.txt" \
    "SUPPORT EXPC=*.txt/*.ini/*.log/*.bat/*.c/*.cpp/*.cgi/*.htm/*.reg" \
    "EDIT WORDWRAP=1" "TOOLBAR VISIBLE=1" "STATUSBAR VISIBLE=1" "RC FORM CLOSE=1"

Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
export DISPLAY=":$(head -n1 "$work/display")"
unset XAUTHORITY

(cd "$work/data" && QT_QPA_PLATFORM=xcb LANG=C.UTF-8 exec "$root/build/ostrel") \
    >"$work/ostrel.log" 2>&1 &
pids+=($!)
window=""
for _ in $(seq 100); do
    window="$(xwininfo -root -tree | grep -F '"OSTREL ver 1.6.4":' | awk '{print $1}' | head -n1 || true)"
    [ -n "$window" ] && xwininfo -id "$window" | grep -q "Map State: IsViewable" && break
    window=""
    sleep 0.2
done
[ -n "$window" ] || { cat "$work/ostrel.log"; echo "no main window" >&2; exit 1; }
sleep 1 # the first paint
mkdir -p "$(dirname "$out")"
xwd -silent -id "$window" | xwdtopnm 2>/dev/null | pnmtopng -compression 9 >"$out"
echo "$out ($(stat -c %s "$out") bytes)"
