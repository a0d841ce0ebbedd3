#!/usr/bin/env bash
# Installs what the build and the tests need when it is missing (Debian): cmake, g++,
# GoogleTest, and tmux, in which the tests run the window on a terminal.
# Quiet when everything is there.
set -euo pipefail
missing=()
command -v cmake >/dev/null 2>&1 || missing+=(cmake)
command -v g++ >/dev/null 2>&1 || missing+=(g++)
[ -f /usr/include/gtest/gtest.h ] || missing+=(libgtest-dev)
command -v tmux >/dev/null 2>&1 || missing+=(tmux)
if [ "${#missing[@]}" -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing ${missing[*]} ..."
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi
