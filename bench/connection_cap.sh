#!/usr/bin/env bash
# A server that takes only two connections from one address (pyftpdlib, max_cons_per_ip=2):
# 60 files of 100 KB, uploaded and downloaded by the transfer engine (quillon-transfer-bench)
# with six lanes and with two. The lanes the server turns away give their files back and rest,
# so six lanes must finish within twice the time of two (target), and move every file.
# Also prints what crash-safe uploads cost: the same upload straight to the final names.
# Usage: bench/connection_cap.sh   (RUNS=n runs per case, default 7; medians of hyperfine)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${QUILLON_BENCH_BUILD:-build/bench}
runs=${RUNS:-7}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_BENCH=ON \
  -DQUILLON_TESTS=OFF -DQUILLON_GUI=OFF >/dev/null
cmake --build "$build" --target quillon-transfer-bench >/dev/null
client=$PWD/$build/bench/quillon-transfer-bench

work=$(mktemp -d)
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/local" "$work/root/files" "$work/down"
for i in $(seq -w 0 59); do head -c 100000 /dev/urandom >"$work/local/f$i.bin"; done
cp "$work"/local/*.bin "$work/root/files/"

port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
/usr/bin/python3 bench/ftp_bench_server.py "$work/root" "$port" bench benchpw 2 >"$work/ready" 2>"$work/server.log" &
server_pid=$!
for _ in $(seq 100); do grep -q ready "$work/ready" 2>/dev/null && break; sleep 0.1; done

q="$client --host 127.0.0.1 --port $port --user bench --password benchpw"
median() {  # hyperfine's median in seconds of one command
  hyperfine --style none --runs "$runs" --export-json "$work/h.json" \
    --prepare "rm -rf $work/down && mkdir -p $work/down" "$1" >/dev/null
  /usr/bin/python3 -c 'import json,sys; print("%.3f" % json.load(open(sys.argv[1]))["results"][0]["median"])' "$work/h.json"
}

# Every file must arrive in each case (the client exits 1 otherwise, which stops hyperfine).
up2=$(median "$q --lanes 2 --upload $work/local /up2")
up6=$(median "$q --lanes 6 --upload $work/local /up6")
down2=$(median "$q --lanes 2 --download /files $work/down")
down6=$(median "$q --lanes 6 --download /files $work/down")
direct6=$(median "$q --lanes 6 --direct-uploads --upload $work/local /direct6")

status=0
report() {  # name six two
  local ratio
  ratio=$(awk "BEGIN { printf \"%.2f\", $2 / $3 }")
  local verdict=ok
  awk "BEGIN { exit !($ratio <= 2.0) }" || { verdict=MISSED; status=1; }
  printf '%-9s six lanes %ss  two lanes %ss  ratio %s (target <= 2.0) %s\n' "$1" "$2" "$3" "$ratio" "$verdict"
}
report upload "$up6" "$up2"
report download "$down6" "$down2"
printf 'upload, six lanes: crash-safe %ss, straight to the names %ss\n' "$up6" "$direct6"
exit $status
