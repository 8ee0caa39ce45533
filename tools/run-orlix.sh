#!/usr/bin/env bash
# Starts Orlix, or says in one sentence why it cannot: it needs a graphical display.
set -u
bin="$1"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "Orlix needs a graphical desktop, but no X11 or Wayland display is available here." >&2
    exit 1
fi
exec "$bin"
