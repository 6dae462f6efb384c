#!/bin/sh
# with-dunst.sh COMMAND [ARGS...]
# Runs COMMAND with a real notification daemon: a private session bus, a bare X server on a free
# display and dunst on both, with HOME in a throwaway folder. Exits 77 (skipped) where dunst,
# Xvfb or xdotool are missing.
set -eu
for tool in dunst dunstctl Xvfb xdotool dbus-run-session; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIP: $tool is not installed (scripts/install-deps.sh installs it)"
        exit 77
    fi
done

tmp=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-dunst.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
export HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/home/.config" XDG_RUNTIME_DIR="$tmp/run"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset DISPLAY WAYLAND_DISPLAY
# A click on a notification runs its default action, as most desktops' daemons do.
cat > "$tmp/dunstrc" <<'RC'
[global]
    mouse_left_click = do_action, close_current
    geometry = "300x100-0+0"
RC

status=0
dbus-run-session -- sh -c '
    tmp=$1; shift
    exec 3>"$tmp/display"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    i=0
    while [ ! -s "$tmp/display" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
    DISPLAY=:$(cat "$tmp/display"); export DISPLAY
    dunst -config "$tmp/dunstrc" >"$tmp/dunst.log" 2>&1 &
    dunst=$!
    status=0
    "$@" || status=$?
    kill $dunst $xvfb 2>/dev/null || true
    exit $status
' with-dunst "$tmp" "$@" || status=$?
exit $status
