#!/bin/sh
# Runs one check of panel_e2e.py with Debian's Python, where the AT-SPI and
# X11 modules live; skipped (77) where that Python is missing.
if [ ! -x /usr/bin/python3 ]; then
    echo "SKIP: /usr/bin/python3 is not installed"
    exit 77
fi
exec /usr/bin/python3 "$(dirname "$0")/panel_e2e.py" "$@"
