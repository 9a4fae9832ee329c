#!/usr/bin/env bash
# Builds the Debian package (the fast build: lodepng compiled in from
# Debian's source package), checks what its control data and copyright file
# say about lodepng, installs it with apt-get, renders diagrams with the
# installed program and artwork, and fetches a diagram from the installed
# tib-server, started on a free port of 127.0.0.1 and stopped.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh curl lintian
# The optimised build the tests ran (hardened as Debian builds are), or a
# new one: its other settings are kept.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)" --target tib tib-server tib-game compressed_docs
rm -f build/tib_*.deb
(cd build && cpack -G DEB)
package=$(ls "$PWD"/build/tib_*.deb)
dpkg-deb -f "$package" Depends Built-Using
if dpkg-deb -f "$package" Built-Using | grep '^lodepng (= ' >/dev/null; then
  # lodepng is inside the program: no dependency on it, its licence shipped.
  # (grep reads all its input in these pipes: one that stopped at the first
  # match would fail the pipe with the writer's SIGPIPE.)
  ! dpkg-deb -f "$package" Depends | grep liblodepng >/dev/null ||
    { echo "static build depends on liblodepng"; exit 1; }
  dpkg-deb --fsys-tarfile "$package" | tar -xO ./usr/share/doc/tib/copyright |
    grep "Lode Vandevenne" >/dev/null || { echo "lodepng's licence is missing"; exit 1; }
else
  echo "package built with Debian's shared liblodepng (no source to build from)"
  dpkg-deb -f "$package" Depends | grep liblodepng0 >/dev/null ||
    { echo "shared build does not depend on liblodepng0"; exit 1; }
fi
# An error or a warning of Debian's package checker fails the build.
lintian --fail-on error,warning --info "$package"
run_as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}
DEBIAN_FRONTEND=noninteractive run_as_root apt-get install -y -qq --reinstall "$package"

out=$(mktemp -d)
server=
cleanup() {
  if [ -n "$server" ]; then kill "$server" 2>/dev/null || true; fi
  rm -rf "$out"
}
trap cleanup EXIT
(cd /usr/share/tib && /usr/bin/tib "fen=4k3/8/8/8/8/8/8/4K3 b" size=400 file="$out/kings.png")
(cd /usr/share/tib/themes/green && /usr/bin/tib size=300 file="$out/start.png")
for page in tib tib-server tib-game; do
  man -w "$page" >/dev/null 2>&1 || test -f "/usr/share/man/man1/$page.1"
done
printf '1. e4 e5 2. Qh5 Nc6 3. Bc4 Nf6 4. Qxf7# 1-0\n' |
  /usr/bin/tib-game --size 300 -o "$out/mate.png"
for png in "$out"/kings.png "$out"/start.png "$out"/mate.png; do
  head -c 8 "$png" | cmp -s - <(printf '\211PNG\r\n\032\n') || { echo "not a PNG: $png"; exit 1; }
done

unit=/usr/lib/systemd/system/tib-server.service
grep -qx 'ExecStart=/usr/bin/tib-server --listen 127.0.0.1:8080 --artwork /usr/share/tib' "$unit"
grep -qx 'DynamicUser=yes' "$unit"
if command -v systemd-analyze >/dev/null; then systemd-analyze verify "$unit"; fi
# The template: one instance per port, tib-server@8081 on 127.0.0.1:8081.
template=/usr/lib/systemd/system/tib-server@.service
grep -qx 'ExecStart=/usr/bin/tib-server --listen 127.0.0.1:%i --artwork /usr/share/tib' "$template"
if command -v systemd-analyze >/dev/null; then
  cp "$template" "$out/tib-server@8081.service"
  systemd-analyze verify "$out/tib-server@8081.service"
fi
test -f /usr/share/doc/tib/examples/nginx/tib.conf

# The installed server finds the installed artwork by itself.
/usr/bin/tib-server --listen 127.0.0.1:0 2>"$out/server.log" &
server=$!
port=
for _ in $(seq 100); do
  port=$(sed -n 's/^tib-server: listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$out/server.log")
  [ -n "$port" ] && break
  kill -0 "$server" 2>/dev/null || break
  sleep 0.1
done
[ -n "$port" ] || { cat "$out/server.log"; echo "tib-server did not start"; exit 1; }
curl -fsS --max-time 20 -o "$out/served.png" \
  "http://127.0.0.1:$port/board.png?fen=4k3/8/8/8/8/8/8/4K3+b&size=400"
cmp "$out/served.png" "$out/kings.png"
kill -TERM "$server"
status=0
wait "$server" || status=$?
server=
[ "$status" -eq 0 ] || { cat "$out/server.log"; echo "tib-server exited $status"; exit 1; }
echo "installed $(basename "$package") renders diagrams, tib-server serves the same bytes"
