#!/usr/bin/env bash
# ansible-lint (production profile) over the role and playbooks of deploy/ansible, offline: it
# installs nothing and asks no server for anything. Its caches go to a temporary directory.
# Usage: check-lint.sh DEPLOY_ANSIBLE_DIR
set -euo pipefail
cd "${1:?deploy/ansible directory}"
if ! command -v ansible-lint >/dev/null 2>&1; then
  echo "SKIP: ansible-lint is missing (scripts/setup-deps.sh installs it)"
  [ "${CI:-}" = "true" ] && exit 1
  exit 77
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# Named one by one: given ".", this ansible-lint lints only what git already tracks.
HOME=$tmp ANSIBLE_HOME=$tmp/ansible ansible-lint --offline --nocolor ./*.yml roles/*
