#!/usr/bin/env bash
# package_deb.sh <build dir>: packs the build into a .deb (in a temporary folder) and checks
# its name, control fields, the libraries it depends on and that it holds exactly the
# installed files, stripped.
. "$(dirname "$0")/common.sh"
(cd "$build" && cpack -G DEB -B "$tmp") >"$tmp/cpack.log" 2>&1 ||
  { cat "$tmp/cpack.log" >&2; fail "cpack failed"; }
version=$(cached CMAKE_PROJECT_VERSION)
deb=$tmp/varnkit_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no $(basename "$deb"); cpack made: $(cd "$tmp" && echo *.deb)"

for field in "Package: varnkit" "Version: $version" "Section: sound"; do
  [ "$(dpkg-deb --field "$deb" "${field%%:*}")" = "${field#*: }" ] ||
    fail "control field is not '$field'"
done
depends=$(dpkg-deb --field "$deb" Depends)
# qt6-qpa-plugins is opened with dlopen, so only the package's own list names it.
for package in libqt6widgets6 libqt6gui6 libqt6core6 libsndfile1 libsoxr0 'libjack[^ ,]*' \
    librtaudio6 librtmidi6 libc6 'libstdc\+\+6' qt6-qpa-plugins; do
  grep -Eq "(^|[,|] )$package( |,|$)" <<<"$depends" || fail "Depends lacks $package: $depends"
done

packaged=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {sub(/^\.\//, "", $6); print $6}' | sort)
diff -u <(expected_files) - <<<"$packaged" ||
  fail "packaged files differ from installed_files.txt (+ packaged, - expected)"
dpkg-deb -x "$deb" "$tmp/root"
libdir=$tmp/root/usr/$(cached CMAKE_INSTALL_LIBDIR)
for elf in "$tmp"/root/usr/bin/* "$libdir"/varnkit/* "$libdir"/lv2/varnkit.lv2/*.so; do
  file -b "$elf" | grep -q ', stripped' || fail "$elf is not stripped"
done
