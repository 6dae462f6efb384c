#!/usr/bin/env bash
# Starts the local development service (with its demo account) and Ostrel against it.
# Quitting Ostrel stops the service. Usage: scripts/run-dev.sh <build folder>
set -euo pipefail

build=${1:-build/release}
bin="$build/bin"
service="$bin/ostrel-devservice"
app="$bin/ostrel"
port=${OSTREL_DEV_PORT:-3000}

for f in "$service" "$app"; do
  if [ ! -x "$f" ]; then
    echo "run-dev: $f is missing; build first (make run does)." >&2
    exit 1
  fi
done

log=$(mktemp -t ostrel-devservice.XXXXXX.log)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  for pid in "${pids[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
  echo "run-dev: something already listens on 127.0.0.1:$port; using it as the service."
else
  "$service" --seed --port "$port" >"$log" 2>&1 &
  pids+=($!)
  for _ in $(seq 1 100); do
    grep -q '^listening on ' "$log" && break
    if ! kill -0 "${pids[0]}" 2>/dev/null; then
      cat "$log" >&2
      echo "run-dev: the development service did not start." >&2
      exit 1
    fi
    sleep 0.1
  done
  sed 's/^/[devservice] /' "$log"
  tail -n0 -f "$log" 2>/dev/null | sed -u 's/^/[devservice] /' &
  pids+=($!)
fi

# Without any display, start a bare X server so Ostrel can run; there is no tray there.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  display=:${OSTREL_XVFB_DISPLAY:-77}
  Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  export DISPLAY=$display
  for _ in $(seq 1 50); do
    [ -e "/tmp/.X11-unix/X${display#:}" ] && break
    sleep 0.1
  done
  echo "run-dev: no display found; started a bare X server on $DISPLAY."
fi

cat <<MSG
run-dev: Ostrel is starting against http://localhost:$port.
  Sign in with the demo account printed above, or by magic link:
    curl -s -X POST -H 'Content-Type: application/json' -d '{"email":"demo@ostrel.test"}' http://localhost:$port/dev/magic-link
    curl -s http://localhost:$port/dev/mailbox      # copy the ostrel://magic-link?token=... link
    $app "ostrel://magic-link?token=..."
  Without a tray, open the popover with: $app ostrel://open
MSG

# Without a session bus (a bare X server, a console) Ostrel gets a private one with its own
# keyring, unlocked, kept in the build folder: the session token is remembered between runs and
# no keyring password prompt blocks the start. On a desktop the user's own bus and keyring serve.
launch=("$app")
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then
  keyring_data=$(cd "$build" && pwd)/dev-keyring
  mkdir -p "$keyring_data"
  chmod 700 "$keyring_data"
  # The daemons keep their files and control socket in that folder; Ostrel keeps the usual ones.
  # --unlock creates (or opens) the "login" keyring with this password; --start completes it.
  launch=(dbus-run-session -- sh -c '
    mkdir -p -m 700 "$0/run"
    printf %s ostrel-dev | XDG_DATA_HOME="$0" XDG_RUNTIME_DIR="$0/run" gnome-keyring-daemon --unlock --components=secrets >/dev/null
    XDG_DATA_HOME="$0" XDG_RUNTIME_DIR="$0/run" gnome-keyring-daemon --start --components=secrets >/dev/null 2>&1
    exec "$@"' "$keyring_data" "$app")
  echo "run-dev: no session bus; Ostrel gets a private one with a development keyring in $keyring_data."
fi

set +e
"${launch[@]}"
status=$?
set -e
exit $status
