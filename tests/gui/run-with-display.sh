#!/bin/sh
# Runs a window test on the current X display, or on a virtual one when
# there is none (the tests use the X11 platform plugin).
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 ${XVFB_SCREEN:-1280x1024x24}" "$@"
fi
exec "$@"
