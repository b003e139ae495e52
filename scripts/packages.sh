#!/usr/bin/env bash
# Installs what Tallpost needs to build and run it ("run", the default) or
# also to test it ("test": the real servers and the browser the tests meet),
# unless it is already there. "fuzz" adds clang
# for the fuzz targets and the sanitizer builds.
set -euo pipefail
PACKAGES=(g++ cmake ninja-build qt6-base-dev qt6-base-dev-tools libgl-dev libgtest-dev
          libbenchmark-dev fonts-ipafont-gothic python3
          # Japanese input for Tallpost and GlyphSwap (turned on as the README says).
          fcitx5 fcitx5-mozc fcitx5-frontend-qt6
          # Qt's own texts (standard buttons and dialogs) in Japanese.
          qt6-translations-l10n)
case "${1:-run}" in
  test) PACKAGES+=(python3-aiosmtpd python3-cryptography python3-vobject dovecot-pop3d chromium fonts-noto-cjk mutt tmux ripmime mpack
                   xvfb xdotool imagemagick dbus-daemon dbus-bin desktop-file-utils locales clang-format) ;;
  fuzz) PACKAGES+=(clang libclang-rt-14-dev) ;;
esac
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update
  # The tests start their own servers on 127.0.0.1; the packages must not start
  # system-wide daemons (Dovecot would listen on every address).
  policy=/usr/sbin/policy-rc.d
  own_policy=""
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' | $SUDO tee "$policy" >/dev/null
    $SUDO chmod 0755 "$policy"
    own_policy=1
  fi
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${missing[@]}"
  [ -z "$own_policy" ] || $SUDO rm -f "$policy"
fi
