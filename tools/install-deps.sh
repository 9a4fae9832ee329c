#!/usr/bin/env bash
# Installs the Debian packages needed to build and test tib, when missing,
# and makes Debian's source packages reachable: the build compiles lodepng
# from Debian's source package (apt-get source, see cmake/Lodepng.cmake).
set -euo pipefail

packages=(g++ cmake make dpkg-dev liblodepng-dev libdeflate-dev libgtest-dev libbenchmark-dev libboost-dev
  libpixman-1-dev libgif-dev nlohmann-json3-dev pkg-config chromium
  libfreetype-dev libharfbuzz-dev libfontconfig-dev fonts-dejavu-core fonts-noto-cjk
  librsvg2-bin libxml2-utils libcairo2-dev librsvg2-dev poppler-utils
  libwebp-dev libavcodec-dev libavformat-dev libavutil-dev libswscale-dev ffmpeg webp "$@")
# The test of the page drives Chromium from a Node.js script.
command -v node >/dev/null || packages+=(nodejs)
run_as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep "ok installed" >/dev/null ||
    missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  run_as_root apt-get update -qq
  DEBIAN_FRONTEND=noninteractive run_as_root apt-get install -y -qq "${missing[@]}"
fi

# Source entries of our own, in a file of their own: the binary entries of
# the configured Debian archive (debian.sources, or a one-line
# sources.list) again as deb-src, copied at run time.
deb_src_list=/etc/apt/sources.list.d/tib-deb-src.sources
# grep reads the whole list: stopping at the first match would end the pipe
# with apt-cache's SIGPIPE.
if ! apt-cache showsrc lodepng 2>/dev/null | grep '^Package: lodepng$' >/dev/null; then
  entries=$(
    for file in /etc/apt/sources.list.d/debian.sources; do
      [ -f "$file" ] || continue
      awk '
        function flush() {
          if (deb && uris != "") printf "Types: deb-src\n%s\n", fields
          deb = 0; uris = ""; fields = ""; keep = 0
        }
        /^[ \t]*#/ { next }
        /^[ \t]*$/ { flush(); next }
        /^[ \t]/ { if (keep) fields = fields "\n" $0; next }
        {
          field = tolower($1)
          keep = field ~ /^(uris|suites|components|signed-by):$/
          if (field == "types:") deb = $0 ~ /[ \t]deb([ \t]|$)/
          if (field == "uris:") uris = $0
          if (keep) fields = fields (fields == "" ? "" : "\n") $0
        }
        END { flush() }' "$file" | awk 'NR > 1 && /^Types:/ { print "" } { print }'
    done
    for file in /etc/apt/sources.list; do
      [ -f "$file" ] || continue
      sed -n 's/^[ \t]*deb[ \t]\+\(\[[^]]*\][ \t]\+\)\?\([^ \t]\+\)[ \t]\+\([^ \t]\+\)[ \t]\+\(.*\)$/\nTypes: deb-src\nURIs: \2\nSuites: \3\nComponents: \4/p' "$file"
    done
  )
  if [ -n "$entries" ]; then
    echo "Adding Debian source entries: $deb_src_list"
    printf '# Written by tib tools/install-deps.sh: source packages of the\n# configured Debian archive, for apt-get source.\n%s\n' \
      "$entries" | run_as_root tee "$deb_src_list" >/dev/null
    run_as_root apt-get update -qq ||
      echo "apt-get update failed; lodepng may have to be the shared library"
  else
    echo "No Debian archive entry found to mirror as deb-src; lodepng will be the shared library"
  fi
fi
