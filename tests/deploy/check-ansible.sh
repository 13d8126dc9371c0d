#!/usr/bin/env bash
# The Ansible role and playbooks of deploy/ansible against two simulated sites.
#
#   check-ansible.sh inventory|upgrade|stop BIN_DIR
#
# Each site is a namespace pair of scripts/netns-run.sh with its own devsim fleet. Its site
# host is Debian's sshd, started per connection (sshd -i) inside the site's operator namespace
# by the SSH client's ProxyCommand, on a host key and for a user key generated here. No port is
# opened anywhere, and ansible-playbook itself runs in a network namespace of its own that has
# nothing but a loopback that is down: the playbooks can reach nothing but the two sites.
# Every file (keys, sshd and ssh configuration, known_hosts, ansible.cfg, the Ansible inventory,
# Ansible's temporary files, the report) lives in one temporary directory; the machine's own
# SSH configuration and home directory are never read or written.
set -euo pipefail

MODE=${1:?mode}
BIN=$(cd "${2:?bin dir}" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)

skip() {
  echo "SKIP: $*"
  [ "${CI:-}" = "true" ] && { echo "CI=true, so this is a failure"; exit 1; }
  exit 77
}

# First the two sites: site A around this script, then site B inside it; the script itself runs
# again in site B's operator namespace, knowing both.
if [ -z "${VELMORA_SITE_A_NS:-}" ]; then
  for tool in ansible-playbook sshd ssh ssh-keygen unshare; do
    command -v "$tool" >/dev/null 2>&1 || [ -x "/usr/sbin/$tool" ] ||
      skip "$tool is missing (scripts/setup-deps.sh installs it)"
  done
  fleet_a=$HERE/site-a.json
  [ "$MODE" = stop ] && fleet_a=$HERE/site-a-failing.json
  runner="$ROOT/scripts/netns-run.sh --devsim $BIN/velmora-devsim"
  # The inner runner finds itself "root" inside the outer one's user namespace (when there is
  # one) and must use its namespaces as they are.
  exec $runner --fleet "$fleet_a" -- bash -c '
    export VELMORA_SITE_A_NS=$VELMORA_NETNS_OPERATOR VELMORA_SITE_A_RECORD=$VELMORA_DEVSIM_RECORD
    export VELMORA_SITES_USERNS=${VELMORA_NETNS_USERNS:-}
    exec env -u VELMORA_NETNS_USERNS '"$runner"' --fleet '"$HERE/site-b.json"' -- bash -c "
      export VELMORA_SITE_B_NS=\$VELMORA_NETNS_OPERATOR VELMORA_SITE_B_RECORD=\$VELMORA_DEVSIM_RECORD
      exec bash '"$0"' '"$MODE"' '"$BIN"'"'
fi
# sshd changes to its privilege-separation user, which a user namespace does not map.
[ -z "${VELMORA_SITES_USERNS:-}" ] || skip "sshd needs root: the namespaces here are a user's"

T=$(mktemp -d "${TMPDIR:-/tmp}/velmora-ansible.XXXXXX")
cleanup() {
  # The SSH masters Ansible left for reuse end with their sshd; nothing else outlives the test.
  for site in site-a site-b; do
    ssh -F "$T/ssh/config" -O exit "$site" >/dev/null 2>&1 || true
  done
  rm -rf "$T"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}
mkdir -p "$T/ssh" "$T/home" "$T/remote-tmp" "$T/site-a" "$T/site-b"
chmod 700 "$T/ssh"
ssh-keygen -q -t ed25519 -N '' -C velmora-test-user -f "$T/ssh/id_ed25519"
cp "$T/ssh/id_ed25519.pub" "$T/ssh/authorized_keys"
user=$(id -un)
: >"$T/ssh/known_hosts"
cat >"$T/ssh/config" <<EOF
Host *
  User $user
  IdentityFile $T/ssh/id_ed25519
  IdentitiesOnly yes
  UserKnownHostsFile $T/ssh/known_hosts
  GlobalKnownHostsFile /dev/null
  StrictHostKeyChecking yes
  BatchMode yes
  ControlMaster auto
  ControlPath $T/ssh/cm-%n
  ControlPersist 120
EOF
for site in site-a site-b; do
  ns=$VELMORA_SITE_A_NS
  [ "$site" = site-b ] && ns=$VELMORA_SITE_B_NS
  ssh-keygen -q -t ed25519 -N '' -C "$site" -f "$T/ssh/$site-host"
  echo "$site $(cut -d' ' -f1,2 "$T/ssh/$site-host.pub")" >>"$T/ssh/known_hosts"
  cat >"$T/ssh/$site-sshd" <<EOF
HostKey $T/ssh/$site-host
AuthorizedKeysFile $T/ssh/authorized_keys
AllowUsers $user
PermitRootLogin prohibit-password
PubkeyAuthentication yes
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
StrictModes no
PermitUserRC no
PrintMotd no
PrintLastLog no
PidFile none
Subsystem sftp internal-sftp
LogLevel ERROR
EOF
  # sshd wants an empty /run/sshd for its privilege separation: a tmpfs of its own in a private
  # mount namespace, so nothing is made in the machine's /run.
  cat >>"$T/ssh/config" <<EOF
Host $site
  ProxyCommand ip netns exec $ns unshare --mount --propagation private sh -c 'mount -t tmpfs velmora-sshd /run && mkdir -m 755 /run/sshd && exec /usr/sbin/sshd -i -e -f $T/ssh/$site-sshd'
EOF
done

cat >"$T/ansible.cfg" <<EOF
[defaults]
inventory = $T/sites.yml
roles_path = $ROOT/deploy/ansible/roles
remote_tmp = $T/remote-tmp
local_tmp = $T/local-tmp
interpreter_python = /usr/bin/python3
retry_files_enabled = False
nocows = True
forks = 4

[ssh_connection]
ssh_args = -F $T/ssh/config
pipelining = True
control_path_dir = $T/cp
EOF
cat >"$T/sites.yml" <<EOF
velmora_sites:
  hosts:
    site-a:
      velmora_site: Hall A
      velmora_work_dir: $T/site-a
    site-b:
      velmora_site: Building B
      velmora_work_dir: $T/site-b
  vars:
    velmora_cli: $BIN/velmora-cli
    velmora_report_dir: $T/report
    # Product timers at a quarter, as the console program's own tests run them.
    velmora_environment: {VELMORA_TIME_SCALE: "0.25"}
EOF
export HOME=$T/home ANSIBLE_CONFIG=$T/ansible.cfg ANSIBLE_HOME=$T/ansible-home ANSIBLE_FORCE_COLOR=0

# ansible-playbook with the playbook and extra arguments; its output goes to $T/<log>.
playbook() {
  local log=$1
  shift
  local rc=0
  unshare --net ansible-playbook "$ROOT/deploy/ansible/$@" >"$T/$log" 2>&1 || rc=$?
  return $rc
}
# "changed=N" of the play recap, summed over every host.
changed() { awk '/ : ok=/ { for (i = 1; i <= NF; i++) if ($i ~ /^changed=/) { split($i, a, "="); n += a[2] } } END { print n + 0 }' "$T/$1"; }
show() {
  cat "$T/$1"
  [ ! -f "$T/report/fleet.md" ] || cat "$T/report/fleet.md"
}
# What one site's devices received: "device name sha256" per stored image, sorted.
images() {
  python3 -c '
import json, sys
for line in sorted(open(sys.argv[1])):
    ev = json.loads(line)
    if ev["type"] == "image":
        print(ev["device"], ev["name"], ev["sha256"])' "$1" | sort
}
# Upgrade requests (any step) that reached one site's devices.
upgrades() { grep -c '"type":"vaza_upgrade"' "$1" || true; }

# The rollout options come with the issue "Rollouts at scale": they are used, and the canary
# checked, once velmora-cli knows them.
rollout=0
"$BIN/velmora-cli" upgrade --help 2>&1 | grep -q -- '--canary' && rollout=1
mkdir -p "$T/images"
head -c 150001 /dev/urandom >"$T/images/main-3.2.0.bin"
sha=$(sha256sum "$T/images/main-3.2.0.bin" | cut -d' ' -f1)
upgrade_args=(-e velmora_type=ZR410 -e velmora_version=V3.2.0
  -e "{\"velmora_images\": {\"main\": \"$T/images/main-3.2.0.bin\"}}")

SECONDS=0
case $MODE in
inventory)
  playbook first.log inventory.yml -e velmora_target_version=V3.1.4 -e '{"velmora_target_models": ["ZR420"]}' ||
    { show first.log; fail "inventory.yml failed"; }
  expected='site,host name,name,model,kind,address,version
"Hall A","ZR410-A00001","Hall A left","ZR410","tx","10.213.0.20","V3.1.4"
"Hall A","ZR410-A00002","Hall A right","ZR410","tx","10.213.0.21","V3.1.4"
"Hall A","ZR420-A00003","Hall A decoder","ZR420","rx","10.213.0.22","V2.0.0"
"Building B","ZR410-B00001","Foyer B","ZR410","tx","10.213.0.30","V3.1.4"
"Building B","ZR420-B00002","Bar B decoder","ZR420","rx","10.213.0.31","V3.1.4"'
  [ "$(cat "$T/report/fleet.csv")" = "$expected" ] || { show first.log; cat "$T/report/fleet.csv"; fail "fleet.csv"; }
  python3 - "$T/report/fleet.json" <<'EOF' || fail "fleet.json"
import json, sys
fleet = json.load(open(sys.argv[1]))
assert [s["site"] for s in fleet] == ["Hall A", "Building B"], fleet
assert all(s["reached"] for s in fleet)
assert len(fleet[0]["devices"]) == 3 and len(fleet[1]["devices"]) == 2
EOF
  grep -qx '| ZR410 | V3.1.4 | 2 |' "$T/report/fleet.md" || { show first.log; fail "no per-model count"; }
  grep -qx -- '- ZR420-A00003 (ZR420, 10.213.0.22): V2.0.0' "$T/report/fleet.md" ||
    { show first.log; fail "the device behind the target is not listed"; }
  grep -qx 'Every ZR420 device is at V3.1.4.' "$T/report/fleet.md" || { show first.log; fail "site B not complete"; }
  [ -s "$T/site-a/inventory.json" ] && [ -s "$T/report/sites/site-b/inventory.json" ] ||
    fail "the site inventories were not kept on the site host and fetched"
  playbook second.log inventory.yml -e velmora_target_version=V3.1.4 -e '{"velmora_target_models": ["ZR420"]}' ||
    { show second.log; fail "second inventory.yml failed"; }
  [ "$(changed second.log)" = 0 ] || { cat "$T/second.log"; fail "a second inventory run changed something"; }
  ;;
upgrade)
  [ $rollout = 0 ] || upgrade_args+=(-e velmora_max_parallel=1 -e velmora_retries=1 -e velmora_retry_delay=1)
  playbook first.log upgrade.yml "${upgrade_args[@]}" || { show first.log; fail "upgrade.yml failed"; }
  # Every ZR410, and nothing else, holds the image byte for byte; nothing was sent twice.
  [ "$(images "$VELMORA_SITE_A_RECORD")" = "ZR410-A00001 /main-3.2.0.bin $sha
ZR410-A00002 /main-3.2.0.bin $sha" ] || { show first.log; images "$VELMORA_SITE_A_RECORD"; fail "site A images"; }
  [ "$(images "$VELMORA_SITE_B_RECORD")" = "ZR410-B00001 /main-3.2.0.bin $sha" ] ||
    { show first.log; images "$VELMORA_SITE_B_RECORD"; fail "site B images"; }
  grep -q '"ZR410-A00002","Hall A right","ZR410","tx","10.213.0.21","V3.2.0"' "$T/report/fleet.csv" &&
    grep -q '"ZR410-B00001","Foyer B","ZR410","tx","10.213.0.30","V3.2.0"' "$T/report/fleet.csv" ||
    { cat "$T/report/fleet.csv"; fail "the report does not show the new version"; }
  [ "$(grep -c 'Every ZR410 device is at V3.2.0.' "$T/report/fleet.md")" = 2 ] ||
    { show first.log; fail "fleet.md"; }
  [ -s "$T/report/sites/site-b/upgrade.json" ] || fail "the site's upgrade result was not fetched"
  before_a=$(upgrades "$VELMORA_SITE_A_RECORD")
  before_b=$(upgrades "$VELMORA_SITE_B_RECORD")
  playbook second.log upgrade.yml "${upgrade_args[@]}" || { show second.log; fail "second upgrade.yml failed"; }
  [ "$(changed second.log)" = 0 ] || { cat "$T/second.log"; fail "a second upgrade run changed something"; }
  [ "$(upgrades "$VELMORA_SITE_A_RECORD")" = "$before_a" ] && [ "$(upgrades "$VELMORA_SITE_B_RECORD")" = "$before_b" ] ||
    fail "a second upgrade run sent upgrade requests"
  ;;
stop)
  # Site A's first ZR410 refuses every image: site A fails and site B is never touched.
  [ $rollout = 0 ] || upgrade_args+=(-e velmora_canary=1)
  if playbook first.log upgrade.yml "${upgrade_args[@]}"; then
    show first.log
    fail "upgrade.yml succeeded with a failed site"
  fi
  grep -q 'device(s) failed at Hall A: ZR410-A00001' "$T/first.log" || { show first.log; fail "no failure named"; }
  [ "$(upgrades "$VELMORA_SITE_B_RECORD")" = 0 ] && [ -z "$(images "$VELMORA_SITE_B_RECORD")" ] ||
    { show first.log; fail "site B got upgrade requests after site A failed"; }
  # Without a canary the retry pass ran at site A and is kept beside the first result; after a
  # failed canary no retry sends the image to the devices the canary kept it from.
  if [ $rollout = 1 ]; then
    [ ! -e "$T/report/sites/site-a/retry.json" ] || { show first.log; fail "a retry after a failed canary"; }
  else
    [ -s "$T/report/sites/site-a/retry.json" ] || { show first.log; fail "no retry at site A"; }
  fi
  grep -q 'No inventory in this run' "$T/report/fleet.md" || { show first.log; fail "fleet.md does not say site B was not reached"; }
  if [ $rollout = 1 ]; then
    # The canary failed: the site's other ZR410 gets nothing.
    [ -z "$(images "$VELMORA_SITE_A_RECORD" | grep ZR410-A00002)" ] ||
      { show first.log; fail "site A went on past its failed canary"; }
  else
    echo "NOTE: velmora-cli has no --canary yet; the canary inside site A is not checked"
  fi
  ;;
*)
  fail "unknown mode $MODE"
  ;;
esac
echo "PASS: $MODE, two sites, ${SECONDS} s"
