#!/usr/bin/env bash
# Installs what the build and the tests need when it is missing (Debian): cmake, g++,
# GoogleTest, tmux, in which the tests run the window on a terminal, and the
# locale sources, from which a test builds a Latin-1 locale in its own folder.
# Quiet when everything is there.
set -euo pipefail
missing=()
command -v cmake >/dev/null 2>&1 || missing+=(cmake)
command -v g++ >/dev/null 2>&1 || missing+=(g++)
[ -f /usr/include/gtest/gtest.h ] || missing+=(libgtest-dev)
command -v tmux >/dev/null 2>&1 || missing+=(tmux)
[ -f /usr/share/i18n/charmaps/ISO-8859-1.gz ] || missing+=(locales)
if [ "${#missing[@]}" -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing ${missing[*]} ..."
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi
