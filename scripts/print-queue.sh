#!/usr/bin/env bash
# The print queue the printing tests print on: starts the CUPS scheduler when
# it is not running (listening on loopback and its local socket only), and
# adds the PDF queue OstrelPDF (cups-pdf), the system's default printer,
# whose PDFs arrive in /tmp/ostrel-pdf/<user>/. Safe to run again.
# Exits 0 even when it cannot set things up: the printing tests then skip,
# saying why.
set -uo pipefail

queue=OstrelPDF
out=/tmp/ostrel-pdf
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if ! sudo -n true 2>/dev/null; then
    echo "print-queue: not root and no password-less sudo: the print queue is not set up"
    exit 0
  fi
  SUDO="sudo -n"
fi
for tool in cupsd lpadmin lpstat cupsenable cupsaccept; do
  if ! command -v "$tool" >/dev/null && [ ! -x "/usr/sbin/$tool" ]; then
    echo "print-queue: $tool is missing (scripts/setup.sh installs CUPS)"
    exit 0
  fi
done
export PATH="$PATH:/usr/sbin"

if ! lpstat -r 2>/dev/null | grep -q "is running"; then
  $SUDO mkdir -p /run/cups
  # No service manager here: the scheduler is started directly; its
  # configuration listens on localhost and /run/cups/cups.sock only.
  $SUDO cupsd || { echo "print-queue: cupsd does not start"; exit 0; }
  for _ in $(seq 50); do
    lpstat -r 2>/dev/null | grep -q "is running" && break
    sleep 0.1
  done
fi
if ! lpstat -r 2>/dev/null | grep -q "is running"; then
  echo "print-queue: the CUPS scheduler is not running"
  exit 0
fi

# cups-pdf reads /etc/cups/cups-pdf-<name>.conf for the device cups-pdf:/<name>.
$SUDO mkdir -p "$out"
$SUDO chmod 1777 "$out"
$SUDO tee /etc/cups/cups-pdf-ostrel.conf >/dev/null <<CONF
Out $out/\${USER}
Label 1
CONF
if ! lpstat -v "$queue" >/dev/null 2>&1; then
  $SUDO lpadmin -p "$queue" -v cups-pdf:/ostrel \
    -P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd 2>&1 | grep -v "deprecated" || true
fi
# pdftocairo turns the PDF into PostScript for cups-pdf keeping what the text
# of CJK fonts is, so that pdftotext reads the printed Japanese back.
$SUDO lpadmin -p "$queue" -o pdftops-renderer-default=pdftocairo
$SUDO cupsenable "$queue"
$SUDO cupsaccept "$queue"
$SUDO lpadmin -d "$queue"
echo "print-queue: $queue is the default printer; PDFs arrive in $out/$(id -un)/"
