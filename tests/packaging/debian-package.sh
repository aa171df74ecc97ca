#!/usr/bin/env bash
# Makes the Debian package from the build and checks it: its name, that its files are the
# install's under /usr, its dependencies (libraries from dpkg-shlibdeps plus what is loaded at
# run time), its control fields, and that lintian finds no error.
#
#   debian-package.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
arch=$(dpkg --print-architecture)
cpack --config "$build/CPackConfig.cmake" -B "$tmp" >"$tmp/cpack.log" 2>&1 || { cat "$tmp/cpack.log"; exit 1; }
deb="$tmp/quillet_${version}_${arch}.deb"
[[ -f "$deb" ]] || { echo "no $deb:"; ls "$tmp"; exit 1; }

dpkg-deb --fsys-tarfile "$deb" | tar -t | sed -n 's|^\./usr/||p' | grep -v -e '/$' -e '^$' | LC_ALL=C sort >"$tmp/files"
LC_ALL=C sort "$here/installed-files.txt" >"$tmp/expected"
diff -u "$tmp/expected" "$tmp/files" || { echo "package files differ (- expected, + packaged)"; exit 1; }

depends=$(dpkg-deb -f "$deb" Depends)
for p in libc6 libqt6widgets6 libqt6network6 libxcb1 libdeflate0 qt6-qpa-plugins libqt6svg6 fonts-noto-cjk fonts-material-design-icons-iconfont; do
  grep -Eq "(^|, )$p( |,|$)" <<<"$depends" || { echo "Depends lacks $p: $depends"; exit 1; }
done
for field in Maintainer Description Section Homepage; do
  [[ -n "$(dpkg-deb -f "$deb" "$field")" ]] || { echo "no $field"; exit 1; }
done

lintian --fail-on error --tag-display-limit 0 "$deb"
echo "$(basename "$deb"): $(du -k "$deb" | cut -f1) KiB; Depends: $depends"
