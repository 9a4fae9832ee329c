#!/usr/bin/env bash
# Builds the Debian package (the fast build: lodepng compiled in from
# Debian's source package), checks what its control data and copyright file
# say about lodepng, installs it with apt-get and renders diagrams with the
# installed program and artwork.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DTIB_BUILD_TESTS=OFF >/dev/null
cmake --build build-package -j "$(nproc)" --target tib
(cd build-package && cpack -G DEB)
package=$(ls "$PWD"/build-package/tib_*.deb)
dpkg-deb -f "$package" Depends Built-Using
if dpkg-deb -f "$package" Built-Using | grep -q '^lodepng (= '; then
  # lodepng is inside the program: no dependency on it, its licence shipped.
  ! dpkg-deb -f "$package" Depends | grep -q liblodepng ||
    { echo "static build depends on liblodepng"; exit 1; }
  dpkg-deb --fsys-tarfile "$package" | tar -xO ./usr/share/doc/tib/copyright |
    grep -q "Lode Vandevenne" || { echo "lodepng's licence is missing"; exit 1; }
else
  echo "package built with Debian's shared liblodepng (no source to build from)"
  dpkg-deb -f "$package" Depends | grep -q liblodepng0 ||
    { echo "shared build does not depend on liblodepng0"; exit 1; }
fi
run_as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}
DEBIAN_FRONTEND=noninteractive run_as_root apt-get install -y -qq --reinstall "$package"

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
(cd /usr/share/tib && /usr/bin/tib "fen=4k3/8/8/8/8/8/8/4K3 b" size=400 file="$out/kings.png")
(cd /usr/share/tib/themes/green && /usr/bin/tib size=300 file="$out/start.png")
man -w tib >/dev/null 2>&1 || test -f /usr/share/man/man1/tib.1
for png in "$out"/kings.png "$out"/start.png; do
  head -c 8 "$png" | cmp -s - <(printf '\211PNG\r\n\032\n') || { echo "not a PNG: $png"; exit 1; }
done
echo "installed $(basename "$package") renders diagrams"
