#!/usr/bin/env bash
# Installs a build into a fresh prefix and uses the installation the way a
# user would, outside the source tree: builds the host program of host/ with
# find_package(tabcube) and again with pkg-config, runs both, runs the
# installed command (demo and a request), and imports the installed Python
# module. Usage: tests/install/run.sh BUILD_DIR
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
build_dir=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build_dir" --prefix "$prefix" >/dev/null
cp -r "$source_dir/tests/install/host" "$work/host"
cd "$work"

echo "-- host program, find_package(tabcube)"
cmake -S host -B host-build -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build host-build >/dev/null
host-build/installed_host

echo "-- host program, pkg-config"
PKG_CONFIG_PATH="$prefix/lib/pkgconfig" g++ -std=c++17 -Wall -Wextra -Werror host/host.cpp \
  $(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs tabcube) -o host-pc
LD_LIBRARY_PATH="$prefix/lib" ./host-pc | tail -1

echo "-- installed command"
"$prefix/bin/tabcube" demo --format json >installed-demo.json
"$build_dir/bin/tabcube" demo --format json >demo.json
cmp installed-demo.json demo.json
"$prefix/bin/tabcube" run "$prefix/share/tabcube/examples/requests/demo.json" --format csv >run.csv
head -3 run.csv

python_dir=$(echo "$prefix"/lib/python3*/dist-packages)
if [ -d "$build_dir/python/tabcube" ]; then
  echo "-- installed Python module"
  (cd "$work" && PYTHONPATH="$python_dir" /usr/bin/python3 -c "
import tabcube, pandas as pd
frame = pd.DataFrame({'a': [1, 1, 2], 'b': ['x', 'y', 'y']})
print(tabcube.crosstab(frame, 'a', 'b'))
assert tabcube.__file__.startswith('$prefix'), tabcube.__file__
")
fi
echo "install check passed"
