#!/usr/bin/env bash
# The print system the printing tests print on: a CUPS scheduler of the test
# run's own, never the machine's. `start FOLDER` runs a second cupsd with its
# configuration, spool and socket in FOLDER (a fresh /tmp/ostrel-print-*
# folder), listening on FOLDER/cups.sock only, with the queue OstrelPDF as its
# default printer; the PDFs of its jobs arrive in FOLDER/out/ as Ostrel sent
# them. `stop FOLDER` ends that scheduler and removes the folder. The tests
# reach it through CUPS_SERVER=FOLDER/cups.sock; the machine's own scheduler,
# its queues and its default printer are not touched.
#
# Exits 0 even when it cannot set things up: the printing tests then skip,
# saying why.
set -uo pipefail

action="${1:-}"
folder="${2:-}"
here="$(cd "$(dirname "$0")" && pwd)"
queue=OstrelPDF

case "$folder" in
/tmp/ostrel-print-*) ;;
*)
    echo "usage: $0 start|stop /tmp/ostrel-print-NAME" >&2
    exit 2
    ;;
esac

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    if ! sudo -n true 2>/dev/null; then
        echo "print-queue: not root and no password-less sudo: no print system for the tests"
        exit 0
    fi
    SUDO="sudo -n"
fi
export PATH="$PATH:/usr/sbin"

# Ends the scheduler that runs on this folder, if one does (left by a run
# that was killed, too): only a cupsd whose command line names the folder.
stop_scheduler() {
    local pid
    pid="$(cat "$folder/state/cupsd.pid" 2>/dev/null)" || return 0
    case "$pid" in '' | *[!0-9]*) return 0 ;; esac
    tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -q "cupsd .*$folder/" || return 0
    $SUDO kill "$pid" 2>/dev/null || return 0
    for _ in $(seq 100); do
        [ -e "/proc/$pid" ] || return 0
        sleep 0.05
    done
    $SUDO kill -9 "$pid" 2>/dev/null || true
}

if [ "$action" = stop ]; then
    stop_scheduler
    $SUDO rm -rf -- "$folder"
    exit 0
fi
[ "$action" = start ] || { echo "usage: $0 start|stop FOLDER" >&2; exit 2; }

if ! command -v cupsd >/dev/null || ! command -v lpadmin >/dev/null; then
    echo "print-queue: cupsd or lpadmin is missing (scripts/setup.sh installs CUPS)"
    exit 0
fi

stop_scheduler
$SUDO rm -rf -- "$folder"
# Made afresh by root, readable by all: the scheduler checks that what it runs
# belongs to root and that nobody else may change it.
$SUDO mkdir -m 755 -- "$folder" || { echo "print-queue: cannot make $folder"; exit 0; }
for d in conf spool cache state tmp log bin bin/backend; do
    $SUDO mkdir -m 755 "$folder/$d"
done
# The tests (the user running them) take the PDFs away.
$SUDO mkdir -m 755 "$folder/out"
$SUDO chown "$(id -u):$(id -g)" "$folder/out"
for d in filter daemon cgi-bin monitor notifier driver; do
    [ -e "/usr/lib/cups/$d" ] && $SUDO ln -s "/usr/lib/cups/$d" "$folder/bin/$d"
done
# The one backend: keeps a job's document as FOLDER/out/job-<id>.pdf, put
# there whole (under another name first), owned by the user who printed it.
$SUDO tee "$folder/bin/backend/ostrel-pdf" >/dev/null <<BACKEND
#!/bin/sh
if [ \$# -eq 0 ]; then
    echo 'direct ostrel-pdf "Unknown" "Ostrel test PDF printer"'
    exit 0
fi
part="$folder/out/.job-\$1.part"
if [ -n "\${6:-}" ]; then cat "\$6"; else cat; fi >"\$part" || exit 1
chown "\$2" "\$part" 2>/dev/null
mv "\$part" "$folder/out/job-\$1.pdf"
BACKEND
$SUDO chmod 700 "$folder/bin/backend/ostrel-pdf"

$SUDO tee "$folder/cups-files.conf" >/dev/null <<CONF
ServerRoot $folder/conf
RequestRoot $folder/spool
CacheDir $folder/cache
StateDir $folder/state
TempDir $folder/tmp
ServerBin $folder/bin
AccessLog $folder/log/access_log
ErrorLog $folder/log/error_log
PageLog $folder/log/page_log
SystemGroup root
CONF
# Anyone who can reach the socket may administer the test printers (the
# tests stop, start and add queues).
$SUDO tee "$folder/cupsd.conf" >/dev/null <<CONF
LogLevel warn
Listen $folder/cups.sock
Browsing No
WebInterface No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  JobPrivateAccess default
  JobPrivateValues default
  SubscriptionPrivateAccess default
  SubscriptionPrivateValues default
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF

$SUDO cupsd -c "$folder/cupsd.conf" -s "$folder/cups-files.conf" ||
    { echo "print-queue: the test scheduler does not start"; exit 0; }
export CUPS_SERVER="$folder/cups.sock"
for _ in $(seq 100); do
    lpstat -r 2>/dev/null | grep -q "is running" && break
    sleep 0.05
done
if ! lpstat -r 2>/dev/null | grep -q "is running"; then
    echo "print-queue: the test scheduler does not answer"
    cat "$folder/log/error_log" 2>/dev/null
    exit 0
fi
lpadmin -p "$queue" -E -v ostrel-pdf:/ -P "$here/../tests/OstrelPDF.ppd" 2>&1 | grep -v deprecated
lpadmin -d "$queue"
echo "print-queue: a test scheduler on $CUPS_SERVER, $queue its default; PDFs arrive in $folder/out/"
