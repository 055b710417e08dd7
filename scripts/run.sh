#!/usr/bin/env bash
# Builds the client and its engine library and runs the client.
set -euo pipefail

cd "$(dirname "$0")/.."

scripts/install-deps.sh

no_display() {
    cat >&2 <<MSG
The Halvory client is a desktop program and needs a graphical display: $1.
Either:
  - run this command from a terminal on your desktop, or
  - run it on a virtual display:   xvfb-run -a scripts/run.sh
  - or start one yourself:         Xvfb :99 -screen 0 1280x1024x24 &
                                   DISPLAY=:99 openbox &
                                   DISPLAY=:99 scripts/run.sh
MSG
    exit 1
}
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    no_display "neither DISPLAY nor WAYLAND_DISPLAY is set"
fi
if [[ -z "${WAYLAND_DISPLAY:-}" ]] && ! xdpyinfo >/dev/null 2>&1; then
    no_display "the X display '$DISPLAY' cannot be opened"
fi

if [[ ! -f build/CMakeCache.txt ]]; then
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build build --target halvory hvengine

# The client talks to the service named in build/bin/Halvory.ini.
exec build/bin/halvory "$@"
