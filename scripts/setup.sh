#!/usr/bin/env bash
# Installs what the build needs on Debian 12 and fetches the sources that the
# Windows build compiles itself (pugixml). Idempotent; silent when all is there.
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
deps=${VELO_DEPS_DIR:-$top/build/deps}

sudo_cmd=()
if [ "$(id -u)" != 0 ]; then sudo_cmd=(sudo); fi
as_root() { "${sudo_cmd[@]}" "$@"; }

native_pkgs=(g++ cmake ninja-build pkg-config git libgtest-dev libgmock-dev googletest
             libpugixml-dev libbenchmark-dev libspdlog-dev libcurl4-openssl-dev dpkg-dev)
win_pkgs=(g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
          wine wine32:i386)

missing=()
for p in "${native_pkgs[@]}" "${win_pkgs[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

need_update=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  as_root dpkg --add-architecture i386
  need_update=1
fi
# pugixml's source package is built into the Windows targets.
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
  printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm bookworm-updates\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
    | as_root tee /etc/apt/sources.list.d/velo-deb-src.sources >/dev/null
  need_update=1
fi

if [ ${#missing[@]} -gt 0 ] || [ $need_update = 1 ]; then
  echo "setup: installing ${missing[*]:-(package lists only)}"
  as_root apt-get update -qq
  if [ ${#missing[@]} -gt 0 ]; then
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
fi

if [ ! -f "$deps/pugixml-1.13/src/pugixml.cpp" ]; then
  mkdir -p "$deps"
  (cd "$deps" &&
   apt-get source --download-only -qq -o APT::Sandbox::User=root pugixml=1.13-0.2 >/dev/null &&
   dpkg-source -x pugixml_1.13-0.2.dsc pugixml-1.13 >/dev/null 2>&1)
fi
