#!/usr/bin/env bash
# make demo: logs in against the bundled portal simulator on 127.0.0.1 and
# shows what happens, from start to logout. Needs no root; every request goes
# to the loopback address; nothing on the host is rewritten (the simulator
# gives no DNS instruction). Usage: scripts/demo.sh [build-dir] [--client]
# With --client (make demo-client) the same installation runs the desktop
# window instead of the console: log in as demo / demo-pass, then log off or
# close the window to end the demo.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-build}
case "$BUILD" in /*) ;; *) BUILD="$ROOT/$BUILD" ;; esac
BIN="$BUILD/bin"
CLIENT=0
[ "${2:-}" = "--client" ] && CLIENT=1
if [ "$CLIENT" = 1 ] && [ -z "${DISPLAY:-}" ]; then
  echo "demo-client: no display (DISPLAY is not set); run it on a desktop, or use make demo" >&2
  exit 1
fi
ACCOUNT=demo
PASSWORD='demo-pass'

if [ ! -x "$BIN/VelnorSvr" ] || [ ! -x "$BIN/VelnorClient" ] || [ ! -x "$BIN/portal-sim" ] || [ ! -f "$BIN/zxmAlogic.zxm" ]; then
  "$ROOT/scripts/install-deps.sh"
  cmake -S "$ROOT" -B "$BUILD" >/dev/null
  cmake --build "$BUILD" -j"$(nproc)"
fi

WORK=$(mktemp -d "${TMPDIR:-/tmp}/velnor-demo.XXXXXX")
SIM_PID="" SVR_PID="" WATCH_PID=""
cleanup() {
  # The service that the window started is recorded in its settings.
  if [ "$CLIENT" = 1 ] && [ -f "$WORK/velnor/conf/conf.xml" ]; then
    SVR_PID=$(tr -d '\n' <"$WORK/velnor/conf/conf.xml" | sed -n 's#.*<PID>\([0-9]*\)</PID>.*#\1#p')
  fi
  for pid in $WATCH_PID $SVR_PID $SIM_PID; do kill "$pid" 2>/dev/null || true; done
  for pid in $WATCH_PID $SVR_PID $SIM_PID; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

say() { printf '\033[1m== %s\033[0m\n' "$*"; }
# Waits (bounded) until a file exists.
wait_file() {
  for _ in $(seq 1 100); do [ -e "$1" ] && return 0; sleep 0.1; done
  echo "demo: $1 did not appear" >&2
  return 1
}

say "Installing into $WORK/velnor"
INSTALL="$WORK/velnor"
cmake --install "$BUILD" --prefix "$INSTALL" >/dev/null
cp "$BIN/zxmAlogic.zxm" "$INSTALL/zxmAlogic.zxm"   # the demo's portal expects the sample module

say "Starting the portal simulator on 127.0.0.1"
cat >"$WORK/scenario.json" <<JSON
{
  "module": { "zxm": "$INSTALL/zxmAlogic.zxm" },
  "accounts": { "$ACCOUNT": "$PASSWORD" },
  "answers": { "interval": 2, "expire": 3600 },
  "config": { "stats_infor": { "enable": 1, "interval": 3 } }
}
JSON
"$BIN/portal-sim" --scenario "$WORK/scenario.json" --module "$BIN/libsample_algo.so" \
  --ready-file "$WORK/sim.ready" >"$WORK/sim.out" 2>&1 &
SIM_PID=$!
wait_file "$WORK/sim.ready"
CONTROL=$(jq -r .control "$WORK/sim.ready")
PROBE=$(jq -r .probe "$WORK/sim.ready")
echo "   probe $PROBE, control $CONTROL"

# The installed settings file plus the simulator's probe address.
sed -i "s#</conf>#<redirect>$PROBE</redirect>\n</conf>#" "$INSTALL/conf/conf.xml"

if [ "$CLIENT" = 1 ]; then
  # The window's network watch pings the loopback address, not the Internet.
  printf '<?xml version="1.0" encoding="UTF-8"?>\n<client><pingAddress>127.0.0.1</pingAddress></client>\n' \
    >"$INSTALL/conf/client.xml"
  say "Starting VelnorClient in $INSTALL: log in as $ACCOUNT / $PASSWORD; log off or close the window to end"
  (cd "$INSTALL" && exec ./VelnorClient) || true
  REQS=$(curl -sf "$CONTROL/control/requests")
  for endpoint in login heartbeat logout; do
    printf '   %-20s%s\n' "$endpoint requests:" "$(jq "[.[] | select(.endpoint == \"$endpoint\")] | length" <<<"$REQS")"
  done
  exit 0
fi

say "Starting VelnorSvr $ACCOUNT ******** (console mode)"
mkfifo "$WORK/stdin"
exec 3<>"$WORK/stdin"   # the answer to the prompt goes in here later
START_NS=$(date +%s%N)
(cd "$INSTALL" && exec ./VelnorSvr "$ACCOUNT" "$PASSWORD" <"$WORK/stdin") &
SVR_PID=$!

LOG="$INSTALL/Log/$(date +%Y%m%d)_Info.log"
wait_file "$LOG"
# Turns the service's log into a running commentary; remembers what it saw.
describe() {
  case "$1" in
    33) echo "preparing" ;; 31) echo "ready to log in (pre-connected)" ;; 32) echo "preparation failed" ;;
    1) echo "logging in" ;; 2) echo "logged in" ;; 3) echo "login failed" ;;
    11) echo "logging out" ;; 12) echo "logged out" ;; *) echo "state $1" ;;
  esac
}
tail -n +1 -F "$LOG" 2>/dev/null | while IFS= read -r line; do
  case "$line" in
    *"NetStateChange curState"*)
      state=$(sed -n 's/.*newState \([0-9]*\),code.*/\1/p' <<<"$line")
      code=$(sed -n 's/.*,code \([-0-9]*\),.*/\1/p' <<<"$line")
      echo "$state" >>"$WORK/states"
      [ "$state" = 2 ] && date +%s%N >"$WORK/connected_at"
      printf '   %-34s code %s\n' "$(describe "$state")" "$code" ;;
    *"portal connect start"*) echo "   login request" ;;
    *" pulse") echo "   heartbeat" ;;
    *"trafficStatisticsURL is :http"*) echo "   traffic statistics report scheduled" ;;
    *"DisConnect For"*) echo "   logout request (source ${line##* })" ;;
  esac
done &
WATCH_PID=$!

# Three heartbeats and one periodic statistics report, then the prompt's answer.
curl -sf "$CONTROL/control/requests/wait?endpoint=heartbeat&count=3&timeout_ms=30000" >/dev/null || true
curl -sf "$CONTROL/control/requests/wait?endpoint=stats&count=1&timeout_ms=15000" >/dev/null || true
STATS_SEEN=$(curl -sf "$CONTROL/control/stats" | jq length)
echo "   statistics reports received by the portal: $STATS_SEEN"
say "Answering the prompt with: y"
echo y >&3

STATUS=0
for _ in $(seq 1 300); do kill -0 "$SVR_PID" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$SVR_PID" 2>/dev/null; then
  echo "demo: the service did not end after the logout" >&2
  STATUS=1
else
  wait "$SVR_PID" && SVR_STATUS=0 || SVR_STATUS=$?
  SVR_PID=""
fi
sleep 0.3   # let the commentary catch up with the last lines

say "Summary"
STATES=$(awk '!seen[$0]++' "$WORK/states" 2>/dev/null | while read -r s; do describe "$s"; done | paste -sd, - | sed 's/,/, /g')
echo "   states seen:        $STATES"
if [ -f "$WORK/connected_at" ]; then
  echo "   time to log in:     $(( ($(cat "$WORK/connected_at") - START_NS) / 1000000 )) ms from start"
fi
REQS=$(curl -sf "$CONTROL/control/requests")
for endpoint in ticket login heartbeat stats logout; do
  printf '   %-20s%s\n' "$endpoint requests:" "$(jq "[.[] | select(.endpoint == \"$endpoint\")] | length" <<<"$REQS")"
done
echo "   logout reason:      $(jq -r '[.[] | select(.endpoint == "logout") | .fields.reason][0] // "none"' <<<"$REQS")"
echo "   service exit status: ${SVR_STATUS:-still running}"
exit "$STATUS"
