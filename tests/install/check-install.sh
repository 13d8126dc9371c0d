#!/usr/bin/env bash
# Installs a build into a fresh prefix and starts the installed programs from there, away from
# the build tree and from any other working directory, so a file missing beside an executable
# cannot be found by accident. Nothing here touches the network.
# Usage: check-install.sh CMAKE BUILD_DIR
set -euo pipefail
CMAKE=$1
BUILD=$2

tmp=$(mktemp -d)
gui_pid=""
cleanup() {
  if [ -n "$gui_pid" ]; then kill "$gui_pid" 2>/dev/null || true; wait "$gui_pid" 2>/dev/null || true; fi
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

prefix="$tmp/opt/velmora"
"$CMAKE" --install "$BUILD" --prefix "$prefix" >"$tmp/install.log" || { cat "$tmp/install.log"; fail "cmake --install"; }
bin="$prefix/bin"

for f in velmora velmora-cli velmora-devsim; do
  [ -x "$bin/$f" ] || fail "$f not installed as an executable"
done
for f in config.xml upgrade.conf app.ini ch.pm en.pm widgets_CN.qm widgets_US.qm samples/main.bin; do
  [ -s "$bin/$f" ] || fail "$f missing beside the executables"
done
# Nothing of the build tree may leak into the prefix (tests, benchmarks, the build's own files).
extra=$(ls -A "$bin" | grep -E '^(tst_|bench|language\.txt)' || true)
[ -z "$extra" ] || fail "unexpected files installed: $extra"

desktop="$prefix/share/applications/velmora.desktop"
[ -f "$desktop" ] || fail "no desktop entry"
grep -qx "Exec=\"$bin/velmora\"" "$desktop" || fail "desktop entry does not start the installed program: $(grep Exec= "$desktop")"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -s "$icon" ] || fail "desktop entry icon $icon missing"
[ -z "$(find "$prefix" -path '*/usr/*')" ] || fail "a plain install wrote package links into its prefix"

cd "$tmp"
"$bin/velmora-cli" --help >"$tmp/cli.txt" 2>&1 || { cat "$tmp/cli.txt"; fail "velmora-cli --help"; }
grep -q discover "$tmp/cli.txt" || fail "velmora-cli --help lists no commands"
"$bin/velmora-devsim" --help >"$tmp/devsim.txt" 2>&1 || { cat "$tmp/devsim.txt"; fail "velmora-devsim --help"; }

# The window: its start-up dialog must come up in the language an administrator left beside the
# program, with translations read from the installed directory, and stay up waiting for a choice.
printf '[General]\nlanguage=Chinese\n' >"$bin/language.txt"
mkdir -p "$tmp/home" "$tmp/config"
HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" QT_QPA_PLATFORM=offscreen \
  QT_LOGGING_RULES="velmora.ui.debug=true" "$bin/velmora" >"$tmp/gui.log" 2>&1 &
gui_pid=$!
for _ in $(seq 600); do
  if grep -q "translation ch.pm from $bin\$" "$tmp/gui.log" && grep -q "translation widgets_CN.qm from $bin\$" "$tmp/gui.log"; then
    break
  fi
  kill -0 "$gui_pid" 2>/dev/null || { cat "$tmp/gui.log"; fail "velmora ended before its start-up dialog was answered"; }
  sleep 0.1
done
grep -q "translation ch.pm from $bin\$" "$tmp/gui.log" || { cat "$tmp/gui.log"; fail "velmora did not load its translations from $bin"; }
! grep -q "no translation" "$tmp/gui.log" || { cat "$tmp/gui.log"; fail "velmora missed a translation"; }
kill -0 "$gui_pid" 2>/dev/null || { cat "$tmp/gui.log"; fail "velmora ended before its start-up dialog was answered"; }
echo "installed into $prefix; velmora-cli, velmora-devsim and velmora start from there"
