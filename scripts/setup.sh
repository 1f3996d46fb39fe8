#!/usr/bin/env bash
# Installs the Debian packages the build needs, builds, and opens the bundled
# sample file in the viewer (on a machine without a display it says how to run
# the viewer under a virtual X server, and prints the sample's block tree).
set -euo pipefail
cd "$(dirname "$0")/.."
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi
$SUDO apt-get update -qq
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $(cat .ci/packages)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec build/viewer/Skovia samples/sample.mdf
fi
echo "No display here: the viewer Skovia needs one. Run it under a virtual X server:"
echo "  xvfb-run -a build/viewer/Skovia samples/sample.mdf"
echo "Meanwhile, the sample's block tree as text:"
build/tools/mdftree samples/sample.mdf
