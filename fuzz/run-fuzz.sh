#!/usr/bin/env bash
# Runs one fuzz target for a bounded time on a scratch copy of its seed corpus,
# so the committed seeds never change. Any crash, leak or over-read fails the test.
# Not exec: the EXIT trap must still run to remove the scratch folder.
set -euo pipefail
target=$1 seeds=$2 seconds=${3:-20}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus"
if [ -d "$seeds" ]; then cp -r "$seeds"/. "$work/corpus/" 2>/dev/null || true; fi
cd "$work"
"$target" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 corpus
