#!/usr/bin/env bash
# Installs the Debian packages the build needs when they are missing (as
# root), or says which ones to install.
set -euo pipefail
# Extra packages may be named as arguments (CI adds clang for the fuzz targets).
packages="cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev libcli11-dev libsqlite3-dev
  pybind11-dev python3-dev python3-numpy python3-pandas python3-pytest python3-dask python3-distributed $*"
missing=""
for p in $packages; do
  dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages:$missing (install them with apt-get install$missing)" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq $missing >/dev/null
