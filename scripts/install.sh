#!/usr/bin/env bash
# Builds and installs tabcube from this checkout: the shared libraries and
# their headers, the CMake package and pkg-config file, the tabcube command,
# and the Python package for the system python3 (/usr/bin/python3).
#   bash scripts/install.sh [PREFIX]
# PREFIX defaults to /usr/local as root, else ~/.local; the Python package
# goes where that python3 looks in the prefix (dist-packages under /usr/local,
# the user's site-packages under ~/.local).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/ensure-deps.sh
if [ "$(id -u)" -eq 0 ]; then default_prefix=/usr/local; else default_prefix=$HOME/.local; fi
prefix=${1:-$default_prefix}
python=/usr/bin/python3
version=$($python -c 'import sys; print(f"{sys.version_info[0]}.{sys.version_info[1]}")')
case "$prefix" in
  "$HOME/.local") python_dir=lib/python$version/site-packages ;;
  *) python_dir=lib/python$version/dist-packages ;;
esac
build_dir=${TABCUBE_BUILD_DIR:-build-install}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DTABCUBE_BUILD_TESTS=OFF -DTABCUBE_BUILD_BENCH=OFF -DPython_EXECUTABLE=$python \
  -DTABCUBE_PYTHON_INSTALL_DIR="$python_dir" >/dev/null
cmake --build "$build_dir" -j"$(nproc)"
cmake --install "$build_dir"
echo "installed into $prefix; the Python package into $prefix/$python_dir"
