#!/usr/bin/env bash
# install_files.sh <build dir>: installs as a distribution does (prefix /usr, DESTDIR) and
# checks what a desktop reads: exactly the expected files, an entry and AppStream data the
# validators accept, icons of their sizes, a man page without warnings, real programs.
. "$(dirname "$0")/common.sh"
DESTDIR=$tmp/root cmake --install "$build" --prefix /usr >"$tmp/install.log" 2>&1 ||
  { cat "$tmp/install.log" >&2; fail "cmake --install failed"; }
diff -u <(expected_files) <(cd "$tmp/root" && find . ! -type d | sed 's|^\./||' | sort) ||
  fail "installed files differ from installed_files.txt (+ installed, - expected)"

usr=$tmp/root/usr
app=org.varnkit.VarnKit
entry=$usr/share/applications/$app.desktop
# Hints count too: one says the entry has no main category and lands in a catch-all menu.
hints=$(desktop-file-validate "$entry" 2>&1) && [ -z "$hints" ] ||
  fail "desktop entry rejected: $hints"
# validate-tree also finds the entry the metainfo launches; --strict fails on infos too.
appstreamcli validate-tree --no-net --strict "$tmp/root" >"$tmp/appstream.log" 2>&1 ||
  { cat "$tmp/appstream.log" >&2; fail "AppStream data rejected"; }
grep -q "<release version=\"$(cached CMAKE_PROJECT_VERSION)\"" \
  "$usr/share/metainfo/$app.metainfo.xml" ||
  fail "the metainfo has no release entry for the project's version"
# A menu shows nothing for an entry whose program or icon has another name.
for name in $(sed -n 's/^\(Try\)\{0,1\}Exec=\([^ ]*\).*/\2/p' "$entry"); do
  [ -x "$usr/bin/$name" ] || fail "the desktop entry starts $name, which is not installed"
done
icon=$(sed -n 's/^Icon=//p' "$entry")
[ -f "$usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no icon named $icon"

for size in 48 128 256; do
  png=$usr/share/icons/hicolor/${size}x$size/apps/$app.png
  file -b "$png" | grep -q "^PNG image data, $size x $size," ||
    fail "the ${size}x$size icon is not a PNG of that size"
done

for page in "$usr"/share/man/man1/*.1.gz; do
  warnings=$(zcat "$page" | LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z 2>&1)
  [ -z "$warnings" ] || fail "$(basename "$page") renders with warnings: $warnings"
  lexgrog "$page" >/dev/null || fail "$(basename "$page") has no NAME line whatis can read"
done

# The one library search path allowed leads to the package's private folder, relative to the
# file, so that the installed files never load anything from a build tree.
private=$usr/$(cached CMAKE_INSTALL_LIBDIR)/varnkit
bundle=$usr/$(cached CMAKE_INSTALL_LIBDIR)/lv2/varnkit.lv2
for elf in "$usr"/bin/* "$private"/* "$bundle"/*.so; do
  file -b "$elf" | grep -q '^ELF ' || fail "$elf is not an ELF file"
  paths=$(readelf -d "$elf" | sed -n 's/.*(\(RPATH\|RUNPATH\)).*\[\(.*\)\]/\2/p')
  for path in $paths; do
    [ "$(realpath -m "${path/\$ORIGIN/$(dirname "$elf")}")" = "$(realpath -m "$private")" ] ||
      fail "$elf searches $path for libraries"
  done
done
# Each program that needs the package's library finds it there, without a search path of the
# caller's.
for program in "$usr"/bin/* "$bundle"/*.so; do
  readelf -d "$program" | grep -q 'NEEDED.*\[libvarnkit-jack\.so\]' || continue
  found=$(ldd "$program" | sed -n 's/.*libvarnkit-jack\.so => \(.*\) (.*/\1/p')
  [ -n "$found" ] && [ "$(realpath "$found")" = "$(realpath "$private/libvarnkit-jack.so")" ] ||
    fail "$program does not find the package's own library: ${found:-none}"
done

# A host finds both plugins in the installed bundle, and its data still validates there.
plugins=$(LV2_PATH=$(dirname "$bundle") lv2ls)
for uri in https://varnkit.org/lv2/varnkit https://varnkit.org/lv2/varnkit-multi; do
  grep -qx "$uri" <<<"$plugins" || fail "no host finds $uri in $bundle: $plugins"
done
"$(dirname "$0")/../integration/lv2/validate.sh" "$bundle" >"$tmp/validate.log" 2>&1 ||
  { cat "$tmp/validate.log" >&2; fail "the installed bundle does not validate"; }
