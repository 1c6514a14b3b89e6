#!/usr/bin/env bash
# The font aliases the package ships (the file given): each Windows Japanese
# Gothic name that the windows ask for resolves to an installed face that
# covers Japanese, the "P" (proportional) names to a proportional face and the
# others to a fixed-width one.
set -euo pipefail
conf="$(readlink -f "$1")"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

cat >"$tmp/fonts.conf" <<CONF
<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig>
  <include ignore_missing="yes">/etc/fonts/fonts.conf</include>
  <include>$conf</include>
  <cachedir>$tmp/cache</cachedir>
</fontconfig>
CONF
export FONTCONFIG_FILE="$tmp/fonts.conf"

status=0
check() { # name, expected spacing: "proportional" or "fixed"
    local name="$1" want="$2" family spacing
    family="$(fc-match -f '%{family[0]}' "$name")"
    spacing="$(fc-match -f '%{spacing}' "$name")"
    echo "$name -> $family (spacing ${spacing:-proportional})"
    if [ -z "$(fc-list ":family=$family:lang=ja" family)" ]; then
        echo "  FAIL: $family does not cover Japanese"
        status=1
    fi
    if [ "$want" = proportional ] && [ -n "$spacing" ]; then
        echo "  FAIL: a fixed-width face for a proportional name"
        status=1
    elif [ "$want" = fixed ] && [ -z "$spacing" ]; then
        echo "  FAIL: a proportional face for a fixed-width name"
        status=1
    fi
}
check "MS UI Gothic" proportional
check "ＭＳ Ｐゴシック" proportional
check "MS PGothic" proportional
check "ＭＳ ゴシック" fixed
check "MS Gothic" fixed
exit $status
