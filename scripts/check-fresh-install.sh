#!/usr/bin/env bash
# Installs the built package on a fresh Debian 12 system made for the purpose
# (debootstrap, minimal variant) and reports what a new user gets: the
# packages apt pulls in, what the Windows font names resolve to with the
# package's font aliases and without them, and a clean purge. Needs root and
# the Debian mirror; takes a few minutes, so it is not part of the test run.
# Usage: sudo scripts/check-fresh-install.sh [build/package/ostrel_*.deb]
set -euo pipefail
root_dir="$(cd "$(dirname "$0")/.." && pwd)"
deb="${1:-$(ls "$root_dir"/build/package/ostrel_*.deb | head -n1)}"
[ -f "$deb" ] || { echo "no package: run scripts/package.sh first" >&2; exit 1; }
command -v debootstrap >/dev/null || apt-get install -y -qq debootstrap
fresh="$(mktemp -d /var/tmp/ostrel-fresh.XXXXXX)"
chmod 755 "$fresh" # apt downloads as its own user
cleanup() {
    umount "$fresh/proc" 2>/dev/null || true
    rm -rf "$fresh"
}
trap cleanup EXIT

debootstrap --variant=minbase bookworm "$fresh" http://deb.debian.org/debian >/dev/null
mount -t proc proc "$fresh/proc"
cp "$deb" "$fresh/tmp/ostrel.deb"
in_fresh() { chroot "$fresh" env DEBIAN_FRONTEND=noninteractive LANG=C.UTF-8 bash -c "$1"; }
fonts() {
    for name in "ＭＳ Ｐゴシック" "ＭＳ ゴシック" "MS UI Gothic"; do
        echo "  $name -> $(in_fresh "fc-match -f '%{family[0]}' '$name'")"
    done
}

in_fresh "apt-get update -qq && apt-get install -y -qq --no-install-recommends /tmp/ostrel.deb" >/dev/null
echo "installed without recommended packages; fonts:"
fonts
in_fresh "apt-get install -y -qq \$(dpkg-deb -f /tmp/ostrel.deb Recommends | tr -d ,)" >/dev/null
echo "with recommended packages; fonts:"
fonts
in_fresh "apt-get purge -y -qq ostrel" >/dev/null
for f in /usr/bin/ostrel /usr/bin/ostrel-launch /usr/share/applications/org.ostrel.Ostrel.desktop \
    /etc/fonts/conf.d/30-ostrel-japanese-gothic.conf; do
    [ ! -e "$fresh$f" ] && [ ! -L "$fresh$f" ] || { echo "FAIL: $f left behind" >&2; exit 1; }
done
echo "purged cleanly; without the package's aliases the names resolve to:"
fonts
echo PASS
