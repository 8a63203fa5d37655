#!/bin/sh
# End-to-end print through a real CUPS queue: starts a private cupsd (its own configuration,
# spool and socket in a temporary folder), adds a raw queue that writes to a file, prints the
# sample sheet through the program's print path and waits for the job to arrive in the file.
# Usage: test-cups-print.sh TEST_PROGRAM [SAMPLE_DIR]
# Skips (exit 77) only when cupsd or lpadmin is not installed. Every wait is bounded; cupsd is
# stopped however the script ends.
set -u
TEST_PROGRAM="$1"
CUPSD=$(command -v cupsd || echo /usr/sbin/cupsd)
LPADMIN=$(command -v lpadmin || echo /usr/sbin/lpadmin)
if [ ! -x "$CUPSD" ] || [ ! -x "$LPADMIN" ] || ! command -v lpstat >/dev/null; then
  echo "SKIP: cupsd, lpadmin or lpstat not installed (packages cups, cups-client)"
  exit 77
fi

DIR=$(mktemp -d "${TMPDIR:-/tmp}/vantoria-cups.XXXXXX") || exit 1
CUPSD_PID=
cleanup() {
  if [ -n "$CUPSD_PID" ]; then
    kill "$CUPSD_PID" 2>/dev/null
    # Give it a moment to go, then make sure.
    i=0
    while kill -0 "$CUPSD_PID" 2>/dev/null && [ $i -lt 20 ]; do sleep 0.1; i=$((i + 1)); done
    kill -9 "$CUPSD_PID" 2>/dev/null
  fi
  rm -rf "$DIR"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

# cupsd runs filters as "lp"; it must reach the configuration, spool and output folders.
chmod 755 "$DIR"
mkdir -p "$DIR/spool" "$DIR/tmp" "$DIR/cache" "$DIR/state" "$DIR/log" "$DIR/out"
chmod 777 "$DIR/tmp" "$DIR/out"
SOCK="$DIR/cups.sock"
cat > "$DIR/cupsd.conf" <<CONF
Listen $SOCK
LogLevel debug
Browsing No
WebInterface No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Location /admin>
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF
cat > "$DIR/cups-files.conf" <<CONF
ServerRoot $DIR
RequestRoot $DIR/spool
TempDir $DIR/tmp
CacheDir $DIR/cache
StateDir $DIR/state
ErrorLog $DIR/log/error_log
AccessLog $DIR/log/access_log
PageLog $DIR/log/page_log
Printcap $DIR/printcap
FileDevice Yes
CONF

"$CUPSD" -f -c "$DIR/cupsd.conf" -s "$DIR/cups-files.conf" >"$DIR/log/cupsd.out" 2>&1 &
CUPSD_PID=$!
export CUPS_SERVER="$SOCK"
i=0
until [ -S "$SOCK" ] && timeout 5 lpstat -r >/dev/null 2>&1; do
  i=$((i + 1))
  if [ $i -gt 100 ] || ! kill -0 "$CUPSD_PID" 2>/dev/null; then
    echo "FAIL: the private cupsd did not start"
    cat "$DIR/log/cupsd.out" "$DIR/log/error_log" 2>/dev/null | tail -20
    exit 1
  fi
  sleep 0.2
done

# A queue that takes PDF and writes it to a file (the generic PDF printer of cups-filters); a raw
# queue, where that description is missing, hands the job over unfiltered.
OUT="$DIR/out/job.prn"
PPD=/usr/share/ppd/cupsfilters/Generic-PDF_Printer-PDF.ppd
if [ -r "$PPD" ]; then MODEL="-P $PPD"; else MODEL="-m raw"; fi
# shellcheck disable=SC2086
if ! timeout 30 "$LPADMIN" -p vantoria-test -E -v "file://$OUT" $MODEL 2>"$DIR/log/lpadmin.err"; then
  echo "FAIL: lpadmin could not add the queue"
  cat "$DIR/log/lpadmin.err"
  exit 1
fi

# The program's print path: the settings of a print job, the pages on a QPrinter for the queue.
VANTORIA_CUPS_QUEUE=vantoria-test QT_QPA_PLATFORM=offscreen timeout 300 "$TEST_PROGRAM" --gtest_filter='CupsQueue.*'
status=$?
if [ $status -ne 0 ]; then
  echo "FAIL: printing to the queue failed ($status)"
  tail -30 "$DIR/log/error_log"
  exit 1
fi

# The job must complete and its bytes arrive in the queue's file.
i=0
until [ -s "$OUT" ] && [ -z "$(timeout 5 lpstat -o vantoria-test 2>/dev/null)" ]; do
  i=$((i + 1))
  if [ $i -gt 300 ]; then
    echo "FAIL: no completed job arrived in $OUT"
    timeout 5 lpstat -W all -o 2>&1
    tail -30 "$DIR/log/error_log"
    exit 1
  fi
  sleep 0.2
done
completed=$(timeout 5 lpstat -W completed -o vantoria-test 2>/dev/null | wc -l)
if [ "$completed" -lt 1 ]; then
  echo "FAIL: the queue lists no completed job"
  exit 1
fi
if ! grep -a -q '%PDF-' "$OUT"; then
  echo "FAIL: the job is not the PDF the print path sends"
  head -c 64 "$OUT" | od -c | head -4
  exit 1
fi
echo "OK: $completed job(s) completed, $(wc -c <"$OUT") bytes written by the queue"
exit 0
