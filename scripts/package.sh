#!/usr/bin/env bash
# Builds the packages a user installs, into dist/: the Debian package, the Windows zip and the
# per-user Windows installer. Installs what is missing first, like the other scripts.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh package
linux=build/package/linux
windows=build/package/windows
mkdir -p dist
rm -f dist/kelvorin_*.deb dist/Kelvorin-*

# ---- Debian: the Qt program with all of Debian's hardening flags, packaged by CPack ----
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B "$linux" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DKELVORIN_BACKEND=qt -DKELVORIN_TESTS=OFF -DKELVORIN_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$linux" -j "$(nproc)"
rm -f "$linux"/kelvorin_*.deb
(cd "$linux" && cpack -G DEB >/dev/null)
cp "$linux"/kelvorin_*_amd64.deb dist/

# ---- Windows: Kelvorin.exe cross-built, installed into a stage, then zipped and wrapped ----
cmake -S . -B "$windows" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DKELVORIN_BACKEND=win32 -DKELVORIN_TESTS=OFF \
  -DKELVORIN_BENCH=OFF >/dev/null
cmake --build "$windows" -j "$(nproc)" --target Kelvorin
rm -rf "$windows/stage"
cmake --install "$windows" --strip --prefix "$windows/stage" >/dev/null
version=$(sed -n 's/^!define VERSION "\(.*\)"$/\1/p' "$windows/packaging/version.nsh")
zip -X -q -j "dist/Kelvorin-$version-win64.zip" "$windows/stage/bin/Kelvorin.exe" \
  "$windows/stage/LICENSE.txt" "$windows/stage/README.txt"
makensis -V2 -DDEFINES="$PWD/$windows/packaging/version.nsh" -DSTAGE="$PWD/$windows/stage" \
  -DICON="$PWD/resources/kelvorin.ico" -DOUTFILE="$PWD/dist/Kelvorin-$version-setup.exe" \
  packaging/windows/kelvorin.nsi

ls -l dist/kelvorin_*.deb dist/Kelvorin-*
