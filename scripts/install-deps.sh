#!/bin/sh
# Installs the Debian packages that the build and every test need.
# As root: one `apt-get update`, then `apt-get install` of what is missing.
# As another user: prints the exact command to run and fails.
set -eu

# The fuzz targets build with clang; its sanitizer and libFuzzer runtime
# (libclang-rt-14-dev) is only a recommendation of clang, and recommendations
# are not installed here, so it is named.
PACKAGES="
  g++
  cmake
  ninja-build
  make
  pkg-config
  libcurl4-openssl-dev
  zlib1g-dev
  libboost-dev
  libboost-regex-dev
  libgtest-dev
  libbenchmark-dev
  libssl-dev
  openssl
  qt6-base-dev
  libgl-dev
  ca-certificates
  libgumbo-dev
  nginx-light
  clang
  libclang-rt-14-dev
  clang-format
  chromium
"

missing=""
for package in $PACKAGES; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
  if [ "$status" != "installed" ]; then
    missing="$missing $package"
  fi
done

# Node.js with npm runs the browser tests' DevTools driver. A machine whose
# Node.js came from elsewhere has npm with it; otherwise Debian's packages.
if ! command -v npm >/dev/null 2>&1; then
  missing="$missing nodejs npm"
fi

if [ -z "$missing" ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing Debian packages:$missing" >&2
  echo "Install them with:" >&2
  echo "  sudo apt-get update && sudo apt-get install -y$missing" >&2
  exit 1
fi

echo "Installing Debian packages:$missing"
export DEBIAN_FRONTEND=noninteractive
# The web server is only run by the tests, on a port of their own: keep the
# packages' scripts from starting system services while installing.
policy=/usr/sbin/policy-rc.d
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' >"$policy"
  chmod 755 "$policy"
  trap 'rm -f "$policy"' EXIT
fi
apt-get update
# shellcheck disable=SC2086
apt-get install -y --no-install-recommends $missing
