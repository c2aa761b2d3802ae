#!/usr/bin/env bash
# Builds the Debian package from the build folder as it is and checks that it holds every installed
# file under /usr and library dependencies from the system. Plain `cpack` first builds every target
# of the folder (tests included); here it runs the same install rules without that build.
# Usage: package.sh BUILD_DIR
source "$(dirname "$0")/common.sh"
build=$1

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch" -D CPACK_INSTALL_CMAKE_PROJECTS= \
  -D CPACK_INSTALL_SCRIPTS="$build/cmake_install.cmake" -D CPACK_INSTALL_PREFIX=/usr \
  -D CMAKE_INSTALL_DO_STRIP=1 >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log"; fail "cpack failed"; }
debs=("$scratch"/brevicor_*.deb)
[ -f "${debs[0]}" ] || { cat "$scratch/cpack.log"; fail "no package made"; }
dpkg-deb --contents "${debs[0]}" | awk '{print $NF}' >"$scratch/contents"
while read -r f; do
  grep -qxF "./usr/$f" "$scratch/contents" || fail "not in the package: /usr/$f"
done < <(expected_files)
depends=$(dpkg-deb --field "${debs[0]}" Depends)
for lib in libqt6core6 libqt6widgets6 libqt6multimedia6 libqt6keychain1 libssl3 libc6 qt6-qpa-plugins; do
  [[ $depends == *"$lib"* ]] || fail "the package does not depend on $lib: $depends"
done
echo "$(basename "${debs[0]}"): $(wc -l <"$scratch/contents") entries; Depends: $depends"
