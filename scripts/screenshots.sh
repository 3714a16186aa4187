#!/usr/bin/env bash
# Retakes the pictures in docs/screenshots from the real windows: runs the
# screenshot test of the GUI tests under Xvfb with a window manager, so that
# the pictures show the windows' frames and title bars.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh xvfb xauth openbox
cmake --preset dev >/dev/null
cmake --build --preset dev --target bramis_gui_tests

export BRAMIS_SCREENSHOT_DIR=$PWD/docs/screenshots
export QT_QPA_PLATFORM=xcb
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  openbox & wm=$!
  sleep 1
  build/dev/tests/app/bramis_gui_tests --gtest_filter="Screenshots.*"
  status=$?
  kill $wm
  exit $status'
ls -l "$BRAMIS_SCREENSHOT_DIR"
