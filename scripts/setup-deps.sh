#!/usr/bin/env bash
# Installs the Debian packages Velmora needs to build, test and demo, and nothing else.
# Packages already present are skipped; apt-get update runs once, only when something is missing.
set -euo pipefail

PACKAGES=(
  # build
  cmake g++ make pkg-config clang-format
  qtbase5-dev libqt5serialport5-dev qttools5-dev qttools5-dev-tools qttranslations5-l10n
  # tests: offscreen/Xvfb GUI, real FTP server, ptys, namespaces, sanitizers and fuzzing
  xvfb xauth vsftpd socat iproute2 util-linux clang libclang-rt-14-dev
  # a real telnet server (busybox telnetd) for the telnet channel's interop test
  busybox-static
  # deploy/ansible's tests: the playbooks over SSH to simulated sites, and their linter
  ansible-core ansible-lint openssh-server openssh-client
  # benchmarks and the demo's screenshot
  libbenchmark-dev curl time imagemagick fonts-wqy-microhei
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
echo "setup-deps: installing ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
