#!/usr/bin/env bash
# Sets up the PDF printer the PDF export prints to: CUPS with cups-pdf, and a queue described
# "Kellmark PDF Writer". Runs as root (or through sudo); starts the CUPS daemon when none runs (also in a
# container without systemd). PDF files appear in the folder PDF of the printing user's home.
set -eu
bash "$(dirname "$0")/install-deps.sh" pdf
if ! lpstat -r >/dev/null 2>&1; then
  /usr/sbin/cupsd
  for _ in $(seq 50); do lpstat -r >/dev/null 2>&1 && break; sleep 0.1; done
fi
# pdftocairo keeps the text of the printed table searchable in the PDF.
lpadmin -p Kellmark_PDF_Writer -E -v cups-pdf:/ -m lsb/usr/cups-pdf/CUPS-PDF_opt.ppd \
  -o pdftops-renderer-default=pdftocairo -D "Kellmark PDF Writer" 2>/dev/null
lpstat -l -p Kellmark_PDF_Writer | head -5
