#!/usr/bin/env bash
# Installs every Debian package that Quillon's build, tests, benchmarks and demo need.
# Safe to run again: apt-get skips what is there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libcurl4-openssl-dev libssl-dev
  qt6-base-dev libgl-dev libqt6svg6
  libgtest-dev libgmock-dev libbenchmark-dev
  python3 python3-pyftpdlib python3-openssl python3-aiosmtpd
  cron systemd desktop-file-utils
  curl lftp vsftpd hyperfine time
  openssh-server openssh-client openssl  # the tests run their own sshd (Debian also enables its service)
  xvfb xdotool fonts-dejavu-core
  clang libclang-rt-14-dev llvm-14       # fuzz targets (libFuzzer) and readable sanitizer reports
  clang-tidy clang-format                # the checks of scripts/test.sh
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
