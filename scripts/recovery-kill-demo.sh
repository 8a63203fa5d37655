#!/bin/sh
# A scripted kill -9 in the middle of editing. A program with the recovery copies of the
# application edits a trek group on and on (a waypoint every 250 ms, never pausing for the quiet
# time, so copies come only from the 30 s limit), is killed with SIGKILL after KILL_AFTER seconds
# (default 47), and the copy it left is listed and restored with vantoria-cli. Prints what was
# lost: the edits after the last copy and how many seconds of editing they were.
# Usage: scripts/recovery-kill-demo.sh [KILL_AFTER]   (BUILD_DIR=... for another build folder)
set -e
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
KILL_AFTER="${1:-47}"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
CLI="$BUILD_DIR/cli/vantoria-cli"

QT_QPA_PLATFORM=offscreen VANTORIA_RECOVERY_CHILD=edit VANTORIA_RECOVERY_DIR="$WORK/recovery" \
  VANTORIA_RECOVERY_FILE="$WORK/walk.pmd" VANTORIA_RECOVERY_EDIT_MS=250 \
  "$BUILD_DIR/tests/test_app" --gtest_filter=RecoveryChild.Run >"$WORK/child.log" 2>&1 &
PID=$!
sleep "$KILL_AFTER"
kill -9 "$PID"
wait "$PID" 2>/dev/null || STATUS=$?
echo "editing program (pid $PID) killed with SIGKILL after $KILL_AFTER s; exit status ${STATUS:-0}"
echo
echo "\$ vantoria-cli recovery list"
"$CLI" recovery list --dir "$WORK/recovery" | tee "$WORK/list.json"
ID="$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["copies"][0]["id"])' "$WORK/list.json")"
echo
echo "\$ vantoria-cli recovery restore $ID -o restored.pmd"
"$CLI" recovery restore "$ID" -o "$WORK/restored.pmd" --dir "$WORK/recovery"
"$CLI" trek show "$WORK/restored.pmd" >"$WORK/restored.json"
echo
python3 - "$WORK/child.log" "$WORK/restored.json" <<'PY'
import json, sys
edits, copies = {}, []
for line in open(sys.argv[1]):
    f = line.split()
    if len(f) == 3 and f[0] == "EDIT": edits[int(f[1])] = int(f[2])
    if len(f) == 3 and f[0] == "COPY": copies.append((int(f[1]) - 3, int(f[2])))
restored = json.load(open(sys.argv[2]))
kept = len(restored["waypoints"]) - 3          # the file started with three waypoints
last = max(edits)
print("copies written at (s):", ", ".join("%.1f (edits 1..%d)" % (t / 1000, n) for n, t in copies))
print("edits made before the kill: %d, the last at %.2f s" % (last, edits[last] / 1000))
print("edits in the restored file: %d (names W0..W%d, all in order: %s)" % (kept, kept - 1,
      all(w["name"] == "W%d" % i for i, w in enumerate(restored["waypoints"][3:]))))
lost = last - kept
span = (edits[last] - edits[kept]) / 1000 if kept in edits else edits[last] / 1000
print("lost: %d edits, made over the last %.2f s before the kill (promise: at most 30 s)" % (lost, span))
sys.exit(0 if span <= 30.0 else 1)
PY
