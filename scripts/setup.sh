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
             libpugixml-dev libbenchmark-dev libspdlog-dev libcurl4-openssl-dev libcups2-dev dpkg-dev
             cups-daemon cups-client libedit-dev)
# The fuzz targets: clang with libFuzzer and the sanitizer runtimes.
fuzz_pkgs=(clang-14 libclang-rt-14-dev)
# Both Windows targets; wine32 installs on any amd64 machine even where the kernel cannot
# run what it holds (scripts/test.sh finds that out).
win_pkgs=(g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
          g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
          wine wine64 wine32:i386
          xvfb x11-apps netpbm)  # a display and screenshots for the window tests under Wine

missing=()
for p in "${native_pkgs[@]}" "${fuzz_pkgs[@]}" "${win_pkgs[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

need_update=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  as_root dpkg --add-architecture i386
  need_update=1
fi

# pugixml's source package is built into the Windows targets. Source entries are made
# from the distribution's own binary entries (same addresses, suites and keys), so no
# mirror is named here.
has_deb_src() {
  grep -rqsE '^Types:.*deb-src' /etc/apt/sources.list.d/ ||
    grep -qsE '^[[:space:]]*deb-src[[:space:]]' /etc/apt/sources.list /etc/apt/sources.list.d/*.list
}
derive_deb_src() {
  local codename
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [ -n "$codename" ] || return 0
  # deb822 stanzas: keep those of type deb whose suites are the release's own.
  awk -v rel="$codename" '
    function flush() {
      if (types ~ /(^| )deb( |$)/ && uris != "" && suites != "") {
        n = split(suites, s, " "); keep = ""
        for (i = 1; i <= n; i++) if (s[i] == rel || index(s[i], rel "-") == 1) keep = keep " " s[i]
        if (keep != "") {
          printf "Types: deb-src\nURIs: %s\nSuites:%s\nComponents: %s\n", uris, keep, comps
          if (signed != "") printf "Signed-By: %s\n", signed
          printf "\n"
        }
      }
      types = uris = suites = comps = signed = ""
    }
    /^[[:space:]]*#/ { next }
    /^[[:space:]]*$/ { flush(); next }
    { key = $1; sub(/:$/, "", key); $1 = ""; sub(/^ +/, "")
      if (key == "Types") types = $0; else if (key == "URIs") uris = $0
      else if (key == "Suites") suites = $0; else if (key == "Components") comps = $0
      else if (key == "Signed-By") signed = $0 }
    END { flush() }' /etc/apt/sources.list.d/*.sources 2>/dev/null || true
}
derive_deb_src_lines() {
  local codename
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [ -n "$codename" ] || return 0
  # One-line entries: "deb [options] URI suite components..." becomes "deb-src ...".
  awk -v rel="$codename" '
    $1 == "deb" {
      i = 2; if ($2 ~ /^\[/) { while (i <= NF && $i !~ /\]$/) i++; i++ }
      suite = $(i + 1)
      if (suite == rel || index(suite, rel "-") == 1) { sub(/^deb/, "deb-src"); print }
    }' /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null || true
}
if ! has_deb_src; then
  stanzas=$(derive_deb_src)
  lines=$(derive_deb_src_lines)
  if [ -z "$stanzas$lines" ]; then
    echo "setup: no Debian entry in the apt sources to derive a source entry from" >&2
    exit 1
  fi
  [ -z "$stanzas" ] || printf '%s\n' "$stanzas" | as_root tee /etc/apt/sources.list.d/velo-deb-src.sources >/dev/null
  [ -z "$lines" ] || printf '%s\n' "$lines" | as_root tee /etc/apt/sources.list.d/velo-deb-src.list >/dev/null
  need_update=1
fi

if [ ${#missing[@]} -gt 0 ] || [ $need_update = 1 ]; then
  echo "setup: installing ${missing[*]:-(package lists only)}"
  # Another install running at the same time holds the lock: wait for it.
  as_root apt-get -o DPkg::Lock::Timeout=600 update -qq
  if [ ${#missing[@]} -gt 0 ]; then
    as_root env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
fi

if [ ! -f "$deps/pugixml-1.13/src/pugixml.cpp" ]; then
  mkdir -p "$deps"
  (cd "$deps" &&
   apt-get source --download-only -qq -o APT::Sandbox::User=root pugixml=1.13-0.2 >/dev/null &&
   dpkg-source -x pugixml_1.13-0.2.dsc pugixml-1.13 >/dev/null 2>&1)
fi
