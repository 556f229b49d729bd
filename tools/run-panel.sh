#!/usr/bin/env bash
# Starts the panel on our simulated drive, or says how to when there is no
# display to show it on.
set -euo pipefail
panel=${1:?usage: run-panel.sh path/to/op-station}
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    cat >&2 <<MSG
op-station: no display to open the panel window on (neither DISPLAY nor WAYLAND_DISPLAY is set).
Run it on a desktop, or under a virtual X server:
    xvfb-run -a -s '-screen 0 1024x768x24' $panel
MSG
    exit 1
fi
exec "$panel"
