#!/usr/bin/env bash
# FTP upload benchmark: our client vs curl -T to the same vsftpd on loopback.
#   bench/ftp/run.sh [size MiB, default 64] [runs, default 9]
# Builds an optimised tree without sanitizers (build-bench) so the figures are the
# product's, then prints both sides, the ratio and our uploader's peak memory.
set -euo pipefail
cd "$(dirname "$0")/../.."
size=${1:-64}
runs=${2:-9}
scripts/setup-deps.sh
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DVELMORA_SANITIZE=OFF -DVELMORA_TESTS=OFF >/dev/null
cmake --build build-bench -j2 --target bench_ftp_upload >/dev/null
exec build-bench/bin/bench_ftp_upload --size-mib "$size" --runs "$runs"
