#!/usr/bin/env bash
# Many small files on one connection, against pyftpdlib and vsftpd: shows whether each file
# pays a wait before its data connection. libcurl 7.88 driven by curl_easy_perform (the curl
# tool) sits 1.0 s before the data connect whenever the server's EPSV reply is already there
# when libcurl reads it, which pyftpdlib's fast replies often cause; Quillon's layer drives
# libcurl on at once. Prints, per server and client, the total time and how many files took
# longer than half a second.
# Usage: bench/ftp_small_files.sh [files]   (vsftpd runs only as root, with anonymous login)
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-200}
build=${QUILLON_BENCH_BUILD:-build/bench}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_BENCH=ON \
  -DQUILLON_TESTS=OFF -DQUILLON_GUI=OFF >/dev/null
cmake --build "$build" --target ftp_download_bench >/dev/null
bench="$build/bench/ftp_download_bench"

work=$(mktemp -d)
pids=()
cleanup() {
  exec 3>&- 2>/dev/null || true
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/root" "$work/out"
chmod 755 "$work" "$work/root"
for i in $(seq 0 $((count - 1))); do head -c 1024 /dev/urandom >"$work/root/small$i"; done

free_port() {
  /usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

run_clients() {  # name port user password
  local name=$1 port=$2 user=$3 password=$4
  printf '%-9s quillon  %s\n' "$name" "$("$bench" many "$port" "$user" "$password" / "$count")"
  local start end slow
  start=$(date +%s.%N)
  curl -s -S -u "$user:$password" -w '%{time_total}\n' -o "$work/out/#1" \
    "ftp://127.0.0.1:$port/small[0-$((count - 1))]" >"$work/curl-times"
  end=$(date +%s.%N)
  slow=$(awk '$1 > 0.5' "$work/curl-times" | wc -l)
  printf '%-9s curl     files=%d seconds=%.3f over_500ms=%d\n' "$name" "$count" \
    "$(awk "BEGIN { print $end - $start }")" "$slow"
}

# pyftpdlib
mkfifo "$work/in"
/usr/bin/python3 scripts/ftp_server.py --root "$work/root" --user bench --password benchpw \
  <"$work/in" >"$work/port" 2>"$work/server.log" &
pids+=($!)
exec 3>"$work/in"
for _ in $(seq 100); do grep -q PORT "$work/port" 2>/dev/null && break; sleep 0.1; done
run_clients pyftpdlib "$(awk '/PORT/ {print $2}' "$work/port")" bench benchpw

# vsftpd (anonymous, read-only)
if [ "$(id -u)" -eq 0 ] && command -v vsftpd >/dev/null; then
  port=$(free_port)
  mkdir -p /var/run/vsftpd/empty
  cat >"$work/vsftpd.conf" <<CONF
listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port=$port
background=NO
anonymous_enable=YES
anon_root=$work/root
no_anon_password=YES
local_enable=NO
write_enable=NO
seccomp_sandbox=NO
pasv_address=127.0.0.1
xferlog_enable=NO
secure_chroot_dir=/var/run/vsftpd/empty
CONF
  vsftpd "$work/vsftpd.conf" >"$work/vsftpd.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do (exec 9<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.1; done
  run_clients vsftpd "$port" anonymous ""
else
  echo "vsftpd  skipped (needs root and the vsftpd package)"
fi
