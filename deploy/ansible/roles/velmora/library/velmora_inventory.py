#!/usr/bin/python
# -*- coding: utf-8 -*-
# The devices one site's search finds, each with the version of one module. Versions are read
# in parallel, a bounded number at a time: a site of hundreds of devices must neither take
# hundreds of SSH round trips from the controller nor open hundreds of sessions at once.

DOCUMENTATION = r"""
---
module: velmora_inventory
short_description: Lists the Velmora devices one site finds, with their versions
description:
  - Runs C(velmora-cli discover --json) on the site host, then C(velmora-cli version) for each
    device found, and returns the list. Changes nothing on the host or on the devices.
options:
  cli:
    description: Path of velmora-cli on the site host.
    type: path
    required: true
  version_module:
    description: The module whose version is read (web-server models have one version).
    type: str
    default: main
  passes:
    description: Searches to run and merge.
    type: int
    default: 1
  names:
    description: Also read each device's own name over telnet.
    type: bool
    default: true
  parallel:
    description: Versions read at the same time.
    type: int
    default: 8
author: Velmora maintainers
"""

RETURN = r"""
devices:
  description: Per device hostName, name, displayName, model, kind, address and version
    (null when it could not be read), sorted by host name and address.
  returned: always
  type: list
  elements: dict
problems:
  description: What velmora-cli reported on stderr, one line per device and step.
  returned: always
  type: list
  elements: str
"""

import json
import subprocess
from concurrent.futures import ThreadPoolExecutor

from ansible.module_utils.basic import AnsibleModule


def run(args):
    # A device that never answers is ended by velmora-cli's own time limits; this bound only
    # guards against a program that hangs outright.
    try:
        proc = subprocess.run(args, capture_output=True, text=True, timeout=600, check=False)
    except subprocess.TimeoutExpired:
        return -1, "", "%s: no answer in 600 s" % " ".join(args[:3])
    return proc.returncode, proc.stdout, proc.stderr


def main():
    module = AnsibleModule(
        argument_spec=dict(
            cli=dict(type="path", required=True),
            version_module=dict(type="str", default="main"),
            passes=dict(type="int", default=1),
            names=dict(type="bool", default=True),
            parallel=dict(type="int", default=8),
        ),
        supports_check_mode=True,
    )
    params = module.params
    cli = params["cli"]
    args = [cli, "discover", "--json", "--passes", str(params["passes"])]
    if params["names"]:
        args.append("--names")
    rc, out, err = run(args)
    # Exit 1 with --names: a name could not be read, the list itself is whole.
    if rc != 0 and not (rc == 1 and params["names"]):
        module.fail_json(msg="velmora-cli discover failed (exit %d): %s" % (rc, err.strip()), rc=rc)
    try:
        found = json.loads(out)
    except ValueError:
        module.fail_json(msg="velmora-cli discover printed no JSON list", stdout=out, stderr=err)
    problems = [line for line in err.splitlines() if line.strip()]

    def read_version(dev):
        # --addr: the device the search found, without a search per device.
        vrc, vout, verr = run([cli, "version", dev["hostName"], "--addr", dev["address"],
                               "--module", params["version_module"]])
        if vrc == 0:
            return vout.strip(), None
        return None, verr.strip() or "%s: version: velmora-cli exit %d" % (dev["hostName"], vrc)

    with ThreadPoolExecutor(max_workers=max(1, params["parallel"])) as pool:
        versions = list(pool.map(read_version, found))

    devices = []
    for dev, (version, problem) in zip(found, versions):
        host = dev["hostName"]
        devices.append({
            "hostName": host,
            "name": dev.get("name") or dev.get("displayName", ""),
            "displayName": dev.get("displayName", ""),
            # A box's model is its host name up to the first "-", as config.xml matches it.
            "model": host.split("-", 1)[0],
            "kind": dev.get("kind", ""),
            "address": dev.get("address", ""),
            "version": version,
        })
        if problem:
            problems.append(problem)
    devices.sort(key=lambda d: (d["hostName"], d["address"]))
    module.exit_json(changed=False, devices=devices, problems=problems)


if __name__ == "__main__":
    main()
