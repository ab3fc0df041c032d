#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop user
# and another host of qel_usb find there:
#   install_test.sh BUILD_DIR SETTINGS_CHECK_PROGRAM
set -euo pipefail
build=$1
check_program=$2
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
prefix=$work/kovrin
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null

# The program folder, the header and pkg-config file, the menu entry and icons.
for f in Kovrin libqel_usb.so libqel_usb.so.0 QelUsb.so libkovrin_platform.so 70-kovrin-usb.rules \
         include/qel_usb.h lib/pkgconfig/qel_usb.pc share/applications/kovrin.desktop \
         share/icons/hicolor/16x16/apps/kovrin.png share/icons/hicolor/48x48/apps/kovrin.png \
         share/icons/hicolor/256x256/apps/kovrin.png; do
  [ -e "$prefix/$f" ] || fail "$f is not installed"
done
readelf -d "$prefix/libqel_usb.so" | grep -q 'SONAME.*\[libqel_usb\.so\.0\]' || fail "libqel_usb.so has no SONAME libqel_usb.so.0"
grep -qx "Exec=\"$prefix/Kovrin\"" "$prefix/share/applications/kovrin.desktop" || fail "the menu entry does not start $prefix/Kovrin"

# No emulator in the product, by default.
for f in acceptor-emulator libqel_usb_emulators.so; do
  [ ! -e "$prefix/$f" ] || fail "$f is installed without the emulators component"
done
for lib in libqel_usb.so libkovrin_platform.so; do
  if nm -C "$prefix/$lib" | grep -E 'emulator::|(^|[^A-Za-z])Emulated[A-Za-z]*::'; then
    fail "$lib holds emulator code"
  fi
done

if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/share/applications/kovrin.desktop" || fail "desktop-file-validate"
else
  echo "desktop-file-validate is not installed: the menu entry is not validated"
fi

# Another host builds against the installed library through pkg-config.
cflags=$(PKG_CONFIG_PATH=$prefix/lib/pkgconfig pkg-config --cflags qel_usb)
libs=$(PKG_CONFIG_PATH=$prefix/lib/pkgconfig pkg-config --libs qel_usb)
cat > "$work/host.c" <<'C'
#include <qel_usb.h>
int main(void) { return LoByte(0x1234) == 0x34 ? 0 : 1; }
C
# The libraries of a sanitizer build need the sanitizer's runtime, which this host does not link.
cc $cflags "$work/host.c" -o "$work/host" $libs -Wl,--allow-shlib-undefined || fail "a C host does not build with pkg-config qel_usb"
readelf -d "$work/host" | grep -q 'NEEDED.*\[libqel_usb\.so\.0\]' || fail "the host does not need libqel_usb.so.0"

# The emulators, only as their own component.
cmake --install "$build" --prefix "$prefix" --component emulators >/dev/null
for f in acceptor-emulator libqel_usb_emulators.so; do
  [ -e "$prefix/$f" ] || fail "--component emulators does not install $f"
done

# A user who cannot write the program folder keeps the port choice in $XDG_CONFIG_HOME.
chmod -R a-w "$prefix"
chmod 755 "$work"
home=$work/home
mkdir -p "$home"
if [ "$(id -u)" -eq 0 ]; then
  chown nobody "$home"
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)
else
  as_user=()
fi
run_as_user() { env HOME="$home" XDG_CONFIG_HOME="$home/config" "${as_user[@]}" "$check_program" "$prefix" "$@"; }
if ! "${as_user[@]}" test -x "$check_program" || "${as_user[@]}" test -w "$prefix"; then
  echo "SKIPPED: no user here who can run the build but cannot write $prefix"
  exit 77
fi
run_as_user choose 4 || fail "choosing a port as a user"
[ -f "$home/config/kovrin/Kovrin.ini" ] || fail "no settings file in \$XDG_CONFIG_HOME/kovrin"
run_as_user expect 4 || fail "the port choice did not survive a restart"
echo "installed and checked in $prefix"
