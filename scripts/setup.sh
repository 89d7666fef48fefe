#!/usr/bin/env bash
# Installs what Tamsel needs on a Debian machine: the native toolchain, the
# 32-bit and 64-bit Windows cross toolchains, 32-bit and 64-bit Wine to run
# the two Windows builds, clang with its libFuzzer runtime for the fuzz
# harnesses, clang-format for the source layout, and the programs the
# whole-program tests drive. Safe to run again.
set -euo pipefail

packages=(
  build-essential cmake ccache libgtest-dev googletest
  clang libclang-rt-14-dev clang-format
  g++-mingw-w64-i686 mingw-w64-tools binutils-mingw-w64-i686
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  wine wine32 wine64 fonts-wine xvfb xauth
  gnulib autoconf automake
  curl wget python3 ca-certificates w3m openssl
  imagemagick x11-apps
  unbound dnsmasq-base bind9-dnsutils squid
  man-db dpkg-dev file passwd util-linux
)

sudo_if_needed() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

missing=()
for p in "${packages[@]}"; do
  arch_pkg=$p
  [ "$p" = wine32 ] && arch_pkg=wine32:i386
  dpkg-query -W -f='${Status}' "$arch_pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    sudo_if_needed dpkg --add-architecture i386
  fi
  sudo_if_needed apt-get update -qq
  # Debian starts a service as its package is installed. The proxy tests
  # start Squid of their own on loopback, so no system-wide proxy is wanted:
  # a policy that refuses every start holds it back during the install.
  held_back=false
  if [ ! -e /usr/sbin/policy-rc.d ]; then
    printf '#!/bin/sh\nexit 101\n' | sudo_if_needed tee /usr/sbin/policy-rc.d >/dev/null
    sudo_if_needed chmod 755 /usr/sbin/policy-rc.d
    held_back=true
  fi
  sudo_if_needed env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
  if $held_back; then sudo_if_needed rm -f /usr/sbin/policy-rc.d; fi
  # ... and the one installed here does not come up at the next boot either.
  if [[ " ${missing[*]} " == *" squid "* ]] && [ -d /run/systemd/system ]; then
    sudo_if_needed systemctl disable --now --quiet squid || true
  fi
fi
echo "setup: all packages present"
