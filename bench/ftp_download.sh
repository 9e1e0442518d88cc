#!/usr/bin/env bash
# Download throughput of Quillon's FTP layer against curl, from the same local pyftpdlib server
# in the same run: a 1 GiB file, passive mode, binary. Quillon's side reads it through
# CurlFtpConnector in 4096-byte Read calls (bench/FtpDownloadBench.cpp) and touches every
# chunk; curl writes to /dev/null. hyperfine times both (warm-up, then alternating runs).
# Prints both throughputs and the ratio; exits 1 when the ratio is below 0.9.
# Usage: bench/ftp_download.sh [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-7}
build=${QUILLON_BENCH_BUILD:-build/bench}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_BENCH=ON \
  -DQUILLON_TESTS=OFF -DQUILLON_GUI=OFF >/dev/null
cmake --build "$build" --target ftp_download_bench >/dev/null
bench="$build/bench/ftp_download_bench"

work=$(mktemp -d)
trap 'exec 3>&- 2>/dev/null || true; kill "$server_pid" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir "$work/root"
head -c $((1 << 30)) /dev/urandom >"$work/root/big.bin"   # real bytes, in the page cache
size=$(stat -c %s "$work/root/big.bin")

# The server lives as long as our end of its stdin pipe (fd 3) stays open.
mkfifo "$work/in"
/usr/bin/python3 scripts/ftp_server.py --root "$work/root" --user bench --password benchpw \
  <"$work/in" >"$work/port" 2>"$work/server.log" &
server_pid=$!
exec 3>"$work/in"
for _ in $(seq 100); do grep -q PORT "$work/port" 2>/dev/null && break; sleep 0.1; done
port=$(awk '/PORT/ {print $2}' "$work/port")
[ -n "$port" ] || { echo "server did not start" >&2; cat "$work/server.log" >&2; exit 1; }

hyperfine --style basic --warmup 1 --runs "$runs" --export-json "$work/times.json" \
  -n curl "curl -s -S -o /dev/null -u bench:benchpw ftp://127.0.0.1:$port/big.bin" \
  -n quillon "$bench one $port bench benchpw /big.bin" >&2

/usr/bin/python3 - "$work/times.json" "$size" <<'PY'
import json, sys
results = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
size = int(sys.argv[2])
mib = size / 1048576
# The median run of each, so one unlucky run does not decide.
curl = mib / results["curl"]["median"]
quillon = mib / results["quillon"]["median"]
ratio = quillon / curl
print("file:     %.0f MiB" % mib)
print("curl:     %.1f MiB/s" % curl)
print("quillon:  %.1f MiB/s (4096-byte reads)" % quillon)
print("ratio:    %.3f (required: at least 0.9)" % ratio)
sys.exit(0 if ratio >= 0.9 else 1)
PY
