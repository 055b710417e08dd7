#!/usr/bin/env bash
# Builds the client, its engine and the reference service, starts the service
# with demo content on a free loopback port, and runs a fresh client install
# configured for it. The service stops when the client closes.
#
# The demo account is "demo" with the password "demo": type it on the login
# screen, or log in at once with  scripts/run.sh /udemo//demo
#
# HALVORY_DEMO_UPGRADE=1 makes the service require the next version and offer
# the upgrade package built from this tree: the client upgrades itself first.
set -euo pipefail

cd "$(dirname "$0")/.."
ROOT=$PWD

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
TARGETS=(halvory hvbrowser hvengine halvory-service halvory-democontent halvory-demo-game)
if [[ ${HALVORY_DEMO_UPGRADE:-} == 1 ]]; then
    TARGETS+=(halvory-upgrade-package)
fi
cmake --build build --target "${TARGETS[@]}"

BIN=$ROOT/build/bin
DEMO=$ROOT/build/demo
if [[ ! -f $DEMO/content/catalogue.json ]]; then
    echo "Generating the demo content in $DEMO ..."
    rm -rf "$DEMO"
    mkdir -p "$DEMO"
    "$BIN/halvory-democontent" --out "$DEMO/content"
    "$BIN/halvory-service" admin --db "$DEMO/service.db" add-user demo demo
fi

# The number the client makes of its version: its parts from the last on,
# each weighing ten times the one after it (1.0.0.1 -> 1001).
VERSION=$(sed -n 's/^project(Halvory VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
IFS=. read -ra PARTS <<<"$VERSION"
REQUIRED=0
WEIGHT=1
for ((i = ${#PARTS[@]} - 1; i > 0; i--)); do
    REQUIRED=$((REQUIRED + 10#${PARTS[i]} * WEIGHT))
    WEIGHT=$((WEIGHT * 10))
done
if ((${#PARTS[0]} == 1)); then
    REQUIRED=$((REQUIRED + PARTS[0] * WEIGHT))
fi
if [[ ${HALVORY_DEMO_UPGRADE:-} == 1 ]]; then
    cp build/upgrade-package/Install.sfe "$DEMO/content/upgrade/Install.sfe"
    REQUIRED=$((REQUIRED + 1))
    echo "Offering the upgrade to version $REQUIRED"
fi
"$BIN/halvory-service" admin --db "$DEMO/service.db" set-required-version "$REQUIRED" >/dev/null
# The key that signs the packages' manifests; the client is given its public half.
if [[ ! -f $DEMO/signing-key.pem ]]; then
    "$BIN/halvory-service" admin new-signing-key "$DEMO/signing-key.pem" "$DEMO/signing-key.pub"
fi

# The service's own authority and the certificate it signed for 127.0.0.1; the
# client, its engine and its web view are told to trust that authority.
TLS=$DEMO/tls
if [[ ! -f $TLS/cert.pem ]]; then
    mkdir -p "$TLS"
    (
        umask 077
        openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes \
            -keyout "$TLS/ca-key.pem" -out "$TLS/ca.pem" -days 3650 \
            -subj "/CN=Halvory Demo Authority" 2>/dev/null
        openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes \
            -keyout "$TLS/key.pem" -out "$TLS/cert.csr" -subj "/CN=127.0.0.1" 2>/dev/null
        printf 'subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\n' >"$TLS/cert.ext"
        openssl x509 -req -in "$TLS/cert.csr" -CA "$TLS/ca.pem" -CAkey "$TLS/ca-key.pem" \
            -CAcreateserial -out "$TLS/cert.pem" -days 825 -extfile "$TLS/cert.ext" 2>/dev/null
    )
fi

SERVICE_LOG=$DEMO/service.log
# HALVORY_ADMIN_TOKEN, when set, reaches the service and opens its fault injection.
coproc SERVICE { exec "$BIN/halvory-service" serve --content "$DEMO/content" --db "$DEMO/service.db" \
    --signing-key-file "$DEMO/signing-key.pem" --tls-cert-file "$TLS/cert.pem" \
    --tls-key-file "$TLS/key.pem" --listen 127.0.0.1:0 2>"$SERVICE_LOG"; }
SERVICE_PID=$SERVICE_PID
trap 'kill "$SERVICE_PID" 2>/dev/null || true; wait "$SERVICE_PID" 2>/dev/null || true' EXIT
read -r -t 20 line <&"${SERVICE[0]}" || { echo "The service did not start; see $SERVICE_LOG" >&2; exit 1; }
BASE=${line#listening: }
echo "Service at $BASE"

# A fresh install: the client, its libraries and a Halvory.ini for this service.
INSTALL=$DEMO/client
rm -rf "$INSTALL" "$INSTALL.new" "$INSTALL.old"
mkdir -p "$INSTALL/art"
cp "$BIN/halvory" "$BIN/libhalvory.so" "$BIN/libhvplatform.so" "$BIN/libhvbrowser.so" "$INSTALL/"
cp "$DEMO/signing-key.pub" "$INSTALL/package-key.pub"
cp "$TLS/ca.pem" "$INSTALL/service-authority.pem"
cat >"$INSTALL/Halvory.ini" <<INI
; Written by scripts/run.sh for the demo service.
SERVERIPADDR_URL=$BASE/discover
ARTURL=$BASE/art/
ARTDIR=$INSTALL/art/
PLAYERPAGES=$BASE/pages
HELP_URL=$BASE/pages
ERRORINFO_URL=$BASE/pages/errorinfo.htm
ENGINE_URL=$BASE
PACKAGEKEY=package-key.pub
CAFILE=service-authority.pem
INI

"$INSTALL/halvory" "$@"
