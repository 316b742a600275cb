#!/usr/bin/env bash
# Builds and runs the example host (examples/host/host.c) against the packages
# in dist/ (scripts/package.sh), as a host developer outside this tree would:
#   1. the .tar.gz unpacked into a scratch folder, through CMake find_package(ryn_usr)
#   2. the same tree through pkg-config (ryn_sim.pc, which requires ryn_usr.pc)
#   3. the Windows zip unpacked, compiled with MinGW-w64 linking ryn_usr.lib and
#      ryn_hid.lib, run under Wine; and the zip's sim/ryn.exe run from its folder
#   4. with --deb (as root): the .deb installed with apt-get, its ryn run
#      (--version, a calibration GET of a simulated controller) and the Python
#      quick start run by Debian's python3 without PYTHONPATH, then removed
# After 2, the Python package of the tree (with PYTHONPATH only) and RynUsr.cs
# (compiled with mcs, run under mono) run the host guide's quick starts.
#   scripts/check_packages.sh [--deb] [--linux | --windows]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

deb=0
linux=1
windows=1
for arg in "$@"; do
  case "$arg" in
    --deb) deb=1 ;;
    --linux) windows=0 ;;
    --windows) linux=0 ;;
    *) echo "usage: $0 [--deb] [--linux | --windows]" >&2; exit 2 ;;
  esac
done

# The one version, from the top-level project().
version=$(sed -n 's/^project(ryn_usr VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
work=$(mktemp -d)
cleanup() {
  if [ -n "${WINEPREFIX:-}" ]; then wineserver -k 2>/dev/null || true; fi
  if ((deb)) && dpkg-query -W ryn-usr >/dev/null 2>&1; then apt-get remove -y -q ryn-usr >/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
cflags=(-std=c11 -Wall -Wextra -Werror)

if ((linux)); then
  tar -xzf "dist/ryn_usr-$version-linux-x86_64.tar.gz" -C "$work"
  # Moved once more after unpacking: the tree must not care where it lies.
  mv "$work/ryn_usr-$version-linux-x86_64" "$work/moved"
  prefix=$work/moved

  echo "--- 1. CMake find_package(ryn_usr)"
  cmake -S examples/host -B "$work/find_package" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
        -DCMAKE_C_FLAGS="${cflags[*]}" >/dev/null
  cmake --build "$work/find_package"
  (cd "$work/find_package" && ./host)

  echo "--- 2. pkg-config"
  export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
  mkdir "$work/pkg-config"
  # shellcheck disable=SC2046
  cc "${cflags[@]}" examples/host/host.c $(pkg-config --cflags ryn_sim) -o "$work/pkg-config/host" \
     $(pkg-config --libs ryn_sim) \
     -Wl,-rpath,"$(pkg-config --variable=libdir ryn_usr):$(pkg-config --variable=libdir ryn_sim)"
  # The folder's files only: share/ryn_usr/dotnet holds the .NET wrapper.
  find "$(pkg-config --variable=definitionsdir ryn_usr)" -maxdepth 1 -type f -exec cp -t "$work/pkg-config/" {} +
  (cd "$work/pkg-config" && ./host)
  unset PKG_CONFIG_PATH

  # As the host guide says: only PYTHONPATH for Python, only RYN_USR_LIBRARY
  # for .NET; nothing of the build or of this tree's environment.
  echo "--- Python: the package of the tree, with PYTHONPATH only"
  mkdir "$work/python"
  (cd "$work/python" &&
     env -u RYN_USR_LIBRARY -u RYN_USR_SIMULATOR -u RYN_USR_DEFINITIONS_DIR \
         PYTHONPATH="$prefix/lib/python3/dist-packages" python3 -c 'import ryn_usr; print(ryn_usr.version())' |
       grep -Fx "$version" &&
     env -u RYN_USR_LIBRARY -u RYN_USR_SIMULATOR -u RYN_USR_DEFINITIONS_DIR \
         PYTHONPATH="$prefix/lib/python3/dist-packages" python3 "$prefix/share/doc/ryn_usr/examples/python/quick_start.py")

  echo "--- C#: the tree's RynUsr.cs and quick start, compiled with mcs, run under mono"
  mkdir "$work/dotnet"
  mcs -nologo -warnaserror -out:"$work/dotnet/QuickStart.exe" "$prefix/share/doc/ryn_usr/examples/dotnet/QuickStart.cs" \
      "$prefix/share/ryn_usr/dotnet/RynUsr.cs"
  (cd "$work/dotnet" && env -u RYN_USR_SIMULATOR -u RYN_USR_DEFINITIONS_DIR \
     RYN_USR_LIBRARY="$prefix/lib/libryn_usr.so.$(cut -d. -f1 <<<"$version")" mono QuickStart.exe)
fi

if ((windows)); then
  echo "--- 3. Windows zip: MinGW-w64 linking ryn_usr.lib, under Wine"
  unzip -q "dist/ryn_usr-$version-win64.zip" -d "$work"
  zip=$work/ryn_usr-$version-win64
  run=$work/win
  mkdir "$run"
  x86_64-w64-mingw32-gcc "${cflags[@]}" examples/host/host.c -I"$zip/include" -I"$zip/sim/include" \
      "$zip/lib/ryn_usr.lib" "$zip/sim/lib/ryn_hid.lib" -o "$run/host.exe"
  # The host's folder gets the library, the device library and the definition files.
  cp "$zip/bin/ryn_usr.dll" "$zip/sim/ryn_hid.dll" "$run/"
  find "$zip/share/ryn_usr" -maxdepth 1 -type f -exec cp -t "$run/" {} +
  wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
  export WINEPREFIX=${RYN_WINEPREFIX:-$root/build-windows/wineprefix} WINEDEBUG=-all
  if [ ! -d "$WINEPREFIX" ]; then mkdir -p "$WINEPREFIX"; wineboot -i; fi
  (cd "$run" && "$wine" host.exe)
  # ryn.exe runs from the zip's simulator folder, with everything it needs beside it.
  (cd "$work" && "$wine" "$zip/sim/ryn.exe" sim create dev.json --family base &&
     "$wine" "$zip/sim/ryn.exe" --sim dev.json --quiet cali get cali.ini &&
     grep -q "^length=8192" cali.ini)
fi

if ((deb)); then
  echo "--- 4. the .deb installed with apt-get"
  apt-get install -y -q "$root/dist/ryn-usr_${version}_amd64.deb" >/dev/null
  if ryn --help 2>&1 | grep -q -- --version; then
    ryn --version | grep -F "$version"
  else
    echo "(this ryn has no --version option yet)"
  fi
  (cd "$work" && ryn sim create deb.json --family base && ryn --sim deb.json --quiet cali get deb.ini &&
     grep -q "^length=8192" deb.ini)
  # Debian's own python3 finds the package without PYTHONPATH.
  mkdir "$work/deb-python"
  (cd "$work/deb-python" && env -u PYTHONPATH -u RYN_USR_LIBRARY -u RYN_USR_SIMULATOR -u RYN_USR_DEFINITIONS_DIR \
     /usr/bin/python3 /usr/share/doc/ryn_usr/examples/python/quick_start.py)
fi
echo "all package consumers passed"
