#!/usr/bin/env bash
# Runs a command inside two private network namespaces joined by one veth pair, so a
# device search (which multicasts on every running interface) and all test traffic stay
# off the machine's real network.
#
#   scripts/netns-run.sh [--fleet FILE] [--devsim PATH] [--record FILE] -- CMD [ARGS...]
#
#   operator namespace: lo, vmo0 = 10.213.0.1/24, route 224.0.0.0/4 over vmo0. CMD runs here.
#   device namespace:   lo, vmd0 = one address per simulated device of the fleet (as /24),
#                       default route over vmd0. velmora-devsim runs here when --fleet is given.
#
# Nothing is ever created in or attached to the machine's own namespace: the veth pair is
# born inside the operator namespace and its peer moved straight into the device namespace.
#
# CMD sees VELMORA_NETNS=1, VELMORA_NETNS_OPERATOR / VELMORA_NETNS_DEVICE (namespace names,
# for `ip -n`), VELMORA_NETNS_LINK=vmo0, VELMORA_NETNS_DEVICE_LINK=vmd0, VELMORA_DEVSIM
# (simulator binary) and VELMORA_DEVSIM_RECORD (the running simulator's record file).
#
# Root uses `ip netns`; other users get the same inside `unshare --user --map-root-user`
# where the system allows it. When namespaces cannot be made at all the exit code is 77
# (ctest: skipped), except with CI=true, where that is a failure. Otherwise the exit code
# is CMD's. Everything is torn down on exit, on failure and on SIGINT/SIGTERM.
set -euo pipefail

ORIG_ARGS=("$@")
FLEET=""
DEVSIM=${VELMORA_DEVSIM:-}
RECORD=""
usage() {
  echo "usage: $0 [--fleet FILE] [--devsim PATH] [--record FILE] -- CMD [ARGS...]" >&2
  exit 2
}
while [ $# -gt 0 ]; do
  case $1 in
    --fleet) FLEET=${2:?}; shift 2 ;;
    --devsim) DEVSIM=${2:?}; shift 2 ;;
    --record) RECORD=${2:?}; shift 2 ;;
    --) shift; break ;;
    *) usage ;;
  esac
done
[ $# -gt 0 ] || usage

cannot() {
  echo "netns-run: cannot create private network namespaces: $1" >&2
  if [ "${CI:-}" = "true" ]; then
    echo "netns-run: CI=true, so this is a failure" >&2
    exit 1
  fi
  echo "netns-run: skipped (exit 77); run as root or allow user namespaces" >&2
  exit 77
}

command -v ip >/dev/null 2>&1 || cannot "ip (iproute2) is not installed"

if [ "$(id -u)" -ne 0 ]; then
  if [ -z "${VELMORA_NETNS_USERNS:-}" ] && command -v unshare >/dev/null 2>&1 &&
    unshare --user --map-root-user --net --mount true 2>/dev/null; then
    # Our own user, network and mount namespaces; inside them we may make more.
    exec unshare --user --map-root-user --net --mount \
      env VELMORA_NETNS_USERNS=1 bash "$0" "${ORIG_ARGS[@]}"
  fi
  cannot "not root, and user namespaces are not allowed here"
fi

if [ -n "${VELMORA_NETNS_USERNS:-}" ]; then
  # `ip netns` keeps its names under /run/netns: give it a private one.
  if [ -d /run/netns ]; then
    mount -t tmpfs velmora-netns /run/netns || cannot "cannot mount a private /run/netns"
  else
    mount -t tmpfs velmora-run /run && mkdir -p /run/netns || cannot "cannot mount a private /run"
  fi
fi

if [ -n "$DEVSIM" ] && [ -x "$DEVSIM" ]; then
  DEVSIM=$(cd "$(dirname "$DEVSIM")" && pwd)/$(basename "$DEVSIM")
fi
if [ -n "$FLEET" ]; then
  [ -f "$FLEET" ] || { echo "netns-run: fleet file $FLEET not found" >&2; exit 2; }
  [ -n "$DEVSIM" ] && [ -x "$DEVSIM" ] ||
    { echo "netns-run: a fleet needs the simulator: --devsim PATH or VELMORA_DEVSIM" >&2; exit 2; }
fi

# Namespaces left behind by runners that were killed outright (SIGKILL after a ctest
# time-out): their names carry the runner's PID, so only dead runners' are removed.
for ns in $(ip netns list 2>/dev/null | awk '{print $1}' | grep -E '^velmora-(op|dev)-[0-9]+-' || true); do
  owner=${ns#velmora-*-}
  owner=${owner%%-*}
  if ! kill -0 "$owner" 2>/dev/null; then
    ip netns del "$ns" 2>/dev/null || true
  fi
done

TAG="$$-$RANDOM"
OP="velmora-op-$TAG"
DEV="velmora-dev-$TAG"
WORK=$(mktemp -d "${TMPDIR:-/tmp}/velmora-netns.XXXXXX")
DEVSIM_PID=""
CMD_PID=""

stop_pid() {
  local pid=$1
  [ -n "$pid" ] || return 0
  kill "$pid" 2>/dev/null || return 0
  for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -9 "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

cleanup() {
  local rc=$?
  trap - EXIT INT TERM
  stop_pid "$CMD_PID"
  stop_pid "$DEVSIM_PID"
  for ns in "$OP" "$DEV"; do
    if [ -e "/run/netns/$ns" ]; then
      # Whatever still runs in our own namespaces was started through us.
      for pid in $(ip netns pids "$ns" 2>/dev/null); do
        kill -9 "$pid" 2>/dev/null || true
      done
      ip netns del "$ns" 2>/dev/null || true
    fi
  done
  rm -rf "$WORK"
  exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

ip netns add "$OP" 2>"$WORK/err" || cannot "ip netns add: $(cat "$WORK/err")"
ip netns add "$DEV" 2>"$WORK/err" || cannot "ip netns add: $(cat "$WORK/err")"

ip -n "$OP" link set lo up
ip -n "$DEV" link set lo up
ip -n "$OP" link add vmo0 type veth peer name vmd0 netns "$DEV"
ip -n "$OP" addr add 10.213.0.1/24 dev vmo0
ip -n "$OP" link set vmo0 up
ip -n "$DEV" link set vmd0 up
# Requests to 225.1.0.0 from an unbound socket need a multicast route; the device side
# reaches every requester, whatever network a test gives it, over its only link.
ip -n "$OP" route add 224.0.0.0/4 dev vmo0
ip -n "$DEV" route add 224.0.0.0/4 dev vmd0
ip -n "$DEV" route add default dev vmd0

if [ -n "$FLEET" ]; then
  "$DEVSIM" --fleet "$FLEET" --print-addresses >"$WORK/addrs" 2>"$WORK/err" ||
    { echo "netns-run: $(cat "$WORK/err")" >&2; exit 2; }
  : >"$WORK/batch-dev"
  : >"$WORK/batch-op"
  declare -A nets=()
  while read -r addr; do
    [ -n "$addr" ] || continue
    if [ "$addr" = "10.213.0.1" ]; then
      echo "netns-run: 10.213.0.1 is the operator's address, not a device's" >&2
      exit 2
    fi
    echo "addr add $addr/24 dev vmd0" >>"$WORK/batch-dev"
    net=${addr%.*}.0
    if [ "$net" != "10.213.0.0" ] && [ -z "${nets[$net]:-}" ]; then
      nets[$net]=1
      echo "route add $net/24 dev vmo0" >>"$WORK/batch-op"
    fi
  done <"$WORK/addrs"
  ip -n "$DEV" -batch "$WORK/batch-dev"
  if [ -s "$WORK/batch-op" ]; then ip -n "$OP" -batch "$WORK/batch-op"; fi
fi

# The operator side must hold nothing but loopback and our end of the pair.
links=$(ip -n "$OP" -o link show | awk -F': ' '{print $2}' | sed 's/@.*//' | sort | tr '\n' ' ')
if [ "$links" != "lo vmo0 " ]; then
  echo "netns-run: unexpected links in the operator namespace: $links" >&2
  exit 1
fi

export VELMORA_NETNS=1 VELMORA_NETNS_OPERATOR="$OP" VELMORA_NETNS_DEVICE="$DEV"
export VELMORA_NETNS_LINK=vmo0 VELMORA_NETNS_DEVICE_LINK=vmd0
[ -z "$DEVSIM" ] || export VELMORA_DEVSIM="$DEVSIM"

if [ -n "$FLEET" ]; then
  RECORD=${RECORD:-$WORK/record.jsonl}
  : >"$RECORD"
  export VELMORA_DEVSIM_RECORD="$RECORD"
  ip netns exec "$DEV" "$DEVSIM" --fleet "$FLEET" --record "$RECORD" >"$WORK/devsim.log" 2>&1 &
  DEVSIM_PID=$!
  for _ in $(seq 300); do
    grep -q "velmora-devsim: ready" "$WORK/devsim.log" && break
    if ! kill -0 "$DEVSIM_PID" 2>/dev/null; then
      echo "netns-run: velmora-devsim ended before it was ready:" >&2
      cat "$WORK/devsim.log" >&2
      DEVSIM_PID=""
      exit 1
    fi
    sleep 0.1
  done
  if ! grep -q "velmora-devsim: ready" "$WORK/devsim.log"; then
    echo "netns-run: velmora-devsim not ready after 30 s:" >&2
    cat "$WORK/devsim.log" >&2
    exit 1
  fi
fi

# In the background so a signal reaches the trap at once rather than after CMD ends.
ip netns exec "$OP" "$@" &
CMD_PID=$!
set +e
wait "$CMD_PID"
rc=$?
set -e
CMD_PID=""
if [ -n "$DEVSIM_PID" ] && ! kill -0 "$DEVSIM_PID" 2>/dev/null; then
  echo "netns-run: velmora-devsim ended early:" >&2
  cat "$WORK/devsim.log" >&2
fi
exit "$rc"
