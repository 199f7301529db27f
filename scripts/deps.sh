#!/usr/bin/env bash
# Installs the Debian packages VarnKit needs to build, run and test, only those missing;
# with --tests also the plugin hosts only the tests use (Ardour alone is some 350 MB).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  librtaudio-dev librtmidi-dev libsndfile1-dev libmpg123-dev libsoxr-dev libarchive-dev
  jackd2 libjack-jackd2-dev
  libpipewire-0.3-dev libpulse-dev libxtst-dev pipewire pipewire-bin wireplumber pipewire-pulse pipewire-jack
  pulseaudio-utils dbus-daemon
  qt6-base-dev qt6-qpa-plugins fonts-dejavu-core
  xvfb xdotool
  lv2-dev liblilv-dev
  librsvg2-bin dpkg-dev desktop-file-utils appstream file man-db groff-base
)
[ "${1:-}" = "--tests" ] && packages+=(sordi lilv-utils jalv ardour python3)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
# jackd2 asks whether to enable real-time scheduling; tests run the server without it.
echo "jackd2 jackd/tweak_rt_limits boolean false" | $sudo debconf-set-selections
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
