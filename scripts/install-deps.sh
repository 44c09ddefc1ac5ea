#!/usr/bin/env bash
# Installs the Debian packages needed to build, test and benchmark iximage, only when some are
# missing. Safe to run again: it says nothing when everything is already there.
set -euo pipefail

packages=(
  cmake g++ make pkg-config ccache
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libimath-dev libopenexr-dev libstb-dev libpng-dev
  clang-format clang libclang-rt-14-dev
  chromium  # headless, with its software WebGL, for the viewer page's browser test
  python3 python3-dev pybind11-dev python3-numpy python3-pytest
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
echo "Installing: ${missing[*]}" >&2
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
