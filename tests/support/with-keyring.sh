#!/bin/sh
# with-keyring.sh COMMAND [ARGS...]
# Runs COMMAND against a private, unlocked Secret Service: its own session bus
# (dbus-run-session) and its own gnome-keyring-daemon, with HOME and the XDG folders in a
# throwaway folder, so the user's real keyring is never read or written. The daemon ends with
# the bus; the folder is removed afterwards.
set -eu

tmp=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-keyring.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

export HOME="$tmp/home"
export XDG_CONFIG_HOME="$HOME/.config"
export XDG_DATA_HOME="$HOME/.local/share"
export XDG_CACHE_HOME="$HOME/.cache"
export XDG_RUNTIME_DIR="$tmp/run"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset GNOME_KEYRING_CONTROL SSH_AUTH_SOCK

status=0
dbus-run-session -- sh -c '
    # --unlock creates the "login" keyring with this password (the default collection) and
    # leaves it unlocked; --start then completes the daemon'"'"'s start-up.
    printf %s ostrel-test | gnome-keyring-daemon --unlock --components=secrets >/dev/null
    gnome-keyring-daemon --start --components=secrets >/dev/null 2>&1
    exec "$@"
' with-keyring "$@" || status=$?
exit "$status"
