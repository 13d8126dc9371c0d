#!/usr/bin/env bash
# Every benchmark at full size in one optimised build, each beside its reference.
#   bench/run-all.sh            (takes a few minutes; best on an otherwise idle machine)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
B=build-bench
cmake -S . -B "$B" -DCMAKE_BUILD_TYPE=Release -DVELMORA_SANITIZE=OFF >/dev/null
cmake --build "$B" -j "$(nproc)" --target velmora-devsim velmora-cli bench_codec bench_batch bench_ftp_upload bench_discovery \
  bench_clibatch bench_httpbatch bench_serial bench_window >/dev/null
export QT_LOGGING_RULES='velmora.*=false' QT_QPA_PLATFORM=offscreen

echo "== codec: stream splitter and image checksum (Google Benchmark)"
"$B/bin/bench_codec" --benchmark_min_time=0.5
echo
echo "== FTP upload of 64 MiB to vsftpd on loopback: our client vs curl -T"
"$B/bin/bench_ftp_upload" --size-mib 64 --runs 7
echo
echo "== discovery of 250 simulated devices, and a 10,000-answer burst (private namespaces)"
# The discovery bench reads the buffer size from the searcher's own diagnostics (and hides them).
QT_LOGGING_RULES='velmora.*=false;velmora.discovery.debug=true' \
  scripts/netns-run.sh --devsim "$B/bin/velmora-devsim" -- "$B/bin/bench/bench_discovery"
echo
echo "== batch upgrade of N simulated devices, 8 MiB module, beside curl to the same FTP services"
echo "   with as many at once: all, and for 1000 devices also at most 50 and 100 at once"
"$B/bin/bench_batch" --devsim "$B/bin/velmora-devsim" --devices 10,50,100,200 --runs 3
"$B/bin/bench_batch" --devsim "$B/bin/velmora-devsim" --devices 1000 --max-parallel 50,100,0 --runs 3
echo
echo "== batch upgrade through velmora-cli, N = 10, 100, 200, 1000 devices x 8 MiB, beside the"
echo "   in-process engine and curl to the same FTP services (private namespaces: the cli searches)"
# Exit 77: no namespaces can be made here; the other figures still count.
scripts/netns-run.sh --devsim "$B/bin/velmora-devsim" -- "$B/bin/bench/bench_clibatch" --devices 10,100,200,1000 ||
  echo "(bench_clibatch did not run: exit $?)"
echo
echo "== HTTP batch of 50 devices x 8 MiB: upload phase beside curl -F to the same web servers"
"$B/bin/bench/bench_httpbatch" --devices 50 --size-kib 8192
echo
echo "== serial upgrade to devsim's controller paced at the line rate: upload phase beside the line's time"
"$B/bin/bench_serial" --cases 256:115200,1024:921600
echo
echo "== the network window: a search of 250 devices filling the table, and a batch of 100 devices"
echo "   x 8 MiB through the batch form beside the engine alone (private namespaces)"
scripts/netns-run.sh --devsim "$B/bin/velmora-devsim" -- "$B/bin/bench_window" --devices 250 --search-only ||
  echo "(bench_window did not run: exit $?)"
scripts/netns-run.sh --devsim "$B/bin/velmora-devsim" -- "$B/bin/bench_window" --devices 100 --kib 8192 ||
  echo "(bench_window did not run: exit $?)"
