#!/usr/bin/env bash
# SFTP throughput of the transfer engine (quillon-transfer-bench --sftp-key) against `curl
# sftp://` and OpenSSH's `sftp`, on a private sshd (own host key, config and authorized key;
# internal-sftp; loopback; as root in a mount namespace of its own so that /run/sshd can be
# made without touching the system): a 1 GiB download and upload (one lane), and
# SMALL_FILES × SMALL_KIB KiB down and up on six lanes against `lftp mirror -P6` over sftp.
# The clients take turns: RUNS rounds (after one untimed round), each running every client
# once under hyperfine, so that no drift of a shared machine favours one side. Prints best and
# median speeds with the load average, and the ratios of the medians; exits 1 when the 1 GiB
# ratio is below 0.9 × the faster of curl and sftp, or the small files below 1.0 × lftp. The
# engine's first lane takes over the login the queue was built on (--reuse-login), as a task's
# does: each client logs in once per lane.
# Usage: bench/sftp_bench.sh   (BIG_MIB, SMALL_FILES, SMALL_KIB, RUNS change the sizes)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${QUILLON_BENCH_BUILD:-build/bench}
big_mib=${BIG_MIB:-1024}
small_files=${SMALL_FILES:-2000}
small_kib=${SMALL_KIB:-16}
runs=${RUNS:-5}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_BENCH=ON \
  -DQUILLON_TESTS=OFF -DQUILLON_GUI=OFF >/dev/null
cmake --build "$build" --target quillon-transfer-bench >/dev/null
bench=$(realpath "$build/bench/quillon-transfer-bench")

work=$(mktemp -d /dev/shm/quillon-sftp-bench.XXXXXX 2>/dev/null || mktemp -d)
trap 'kill "$sshd_pid" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/srv/small" "$work/srv/big" "$work/local/small" "$work/local/big" "$work/home/.ssh"
ssh-keygen -q -N '' -t ed25519 -f "$work/host_key"
ssh-keygen -q -N '' -t ed25519 -f "$work/key"
cp "$work/key.pub" "$work/authorized_keys"
head -c $((big_mib << 20)) /dev/urandom >"$work/srv/big/big.bin"
cp "$work/srv/big/big.bin" "$work/local/big/big.bin"
for i in $(seq "$small_files"); do head -c $((small_kib << 10)) /dev/urandom >"$work/srv/small/f$i"; done
cp "$work/srv/small/"* "$work/local/small/"

port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat >"$work/sshd_config" <<CONF
Port $port
ListenAddress 127.0.0.1
HostKey $work/host_key
PidFile none
AuthorizedKeysFile $work/authorized_keys
StrictModes no
UsePAM no
PasswordAuthentication no
KbdInteractiveAuthentication no
PermitRootLogin prohibit-password
UseDNS no
MaxStartups 64
MaxSessions 64
Subsystem sftp internal-sftp
CONF
if [ "$(id -u)" = 0 ]; then
  unshare --mount --propagation private /bin/sh -c \
    "mount -t tmpfs -o mode=0755 quillon-run /run && mkdir -m 0755 /run/sshd && exec /usr/sbin/sshd -D -e -f '$work/sshd_config'" \
    2>"$work/sshd.log" &
else
  /usr/sbin/sshd -D -e -f "$work/sshd_config" 2>"$work/sshd.log" &
fi
sshd_pid=$!
for _ in $(seq 100); do grep -q "Server listening" "$work/sshd.log" && break; sleep 0.1; done
echo "[127.0.0.1]:$port $(cut -d' ' -f1,2 "$work/host_key.pub")" >"$work/home/.ssh/known_hosts"
user=$(id -un)
fp=$(ssh-keygen -l -E sha256 -f "$work/host_key.pub" | awk '{print $2}' | sed 's/^SHA256://')
url="sftp://127.0.0.1:$port"
curl_opts="-s -S --key $work/key --pubkey $work/key.pub -u $user: --hostpubsha256 $fp"
sftp_opts="-q -i $work/key -o UserKnownHostsFile=$work/home/.ssh/known_hosts -o BatchMode=yes -P $port"
q="env HOME=$work/home $bench --host 127.0.0.1 --port $port --user $user --sftp-key $work/key --reuse-login"
echo "put $work/local/big/big.bin $work/srv/up-sftp.bin" >"$work/put.batch"

# One untimed run that must work, with its output shown when it does not.
$q --download "$work/srv/big" "$work/check" >"$work/check.log" 2>&1 ||
  { cat "$work/check.log" "$work/sshd.log" >&2; exit 1; }
cmp -s "$work/srv/big/big.bin" "$work/check/big.bin" || { echo "the check download differs" >&2; exit 1; }
rm -rf "$work/check"
hyper() {  # NAME, then hyperfine's -n NAME COMMAND pairs: round 0 is untimed
  for round in $(seq 0 "$runs"); do
    hyperfine --style none --runs 1 --export-json "$work/$1.$round.json" "${@:2}" >&2
  done
  cut -d' ' -f1-3 /proc/loadavg >"$work/$1.load"
}
hyper down \
  -n curl "curl $curl_opts -o $work/curl.bin $url$work/srv/big/big.bin" \
  -n sftp "sftp $sftp_opts 127.0.0.1:$work/srv/big/big.bin $work/sftp.bin" \
  -n quillon "rm -rf $work/dl && $q --download $work/srv/big $work/dl"
hyper up \
  -n curl "curl $curl_opts -T $work/local/big/big.bin $url$work/srv/up-curl.bin" \
  -n sftp "sftp $sftp_opts -b $work/put.batch 127.0.0.1" \
  -n quillon "$q --upload $work/local/big $work/srv/up-quillon"
lftp_open="set sftp:connect-program 'ssh -a -x -i $work/key -o UserKnownHostsFile=$work/home/.ssh/known_hosts -o BatchMode=yes'; open -u $user, -p $port sftp://127.0.0.1"
hyper small_down \
  -n lftp "rm -rf $work/sd && lftp -e \"$lftp_open; mirror -P6 $work/srv/small $work/sd; quit\"" \
  -n quillon "rm -rf $work/qd && $q --lanes 6 --download $work/srv/small $work/qd"
hyper small_up \
  -n lftp "lftp -e \"$lftp_open; rm -rf $work/srv/su; mirror -R -P6 $work/local/small $work/srv/su; quit\"" \
  -n quillon "$q --lanes 6 --upload $work/local/small $work/srv/qu-\$RANDOM"

/usr/bin/python3 - "$work" "$big_mib" "$small_files" "$runs" <<'PY'
import json, statistics, sys
work, mib, files, runs = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
def seconds(name):  # command -> (best, median) of the timed rounds
    times = {}
    for round in range(1, runs + 1):
        for r in json.load(open(f"{work}/{name}.{round}.json"))["results"]:
            times.setdefault(r["command"], []).extend(r["times"])
    return {c: (min(t), statistics.median(t)) for c, t in times.items()}
def load(name):
    return open(f"{work}/{name}.load").read().strip()
ok = True
for case in ("down", "up"):
    s = seconds(case)
    speed = lambda c: f"{mib/s[c][0]:.0f} ({mib/s[c][1]:.0f})"
    faster = min(s["curl"][1], s["sftp"][1])
    ratio = faster / s["quillon"][1]
    ok &= ratio >= 0.9
    print(f"{mib} MiB {case}, MiB/s best (median): curl {speed('curl')}, sftp {speed('sftp')}, "
          f"quillon {speed('quillon')}; medians {ratio:.2f} x the faster (target 0.9; "
          f"best runs {min(s['curl'][0], s['sftp'][0]) / s['quillon'][0]:.2f} x); load {load(case)}")
for case in ("small_down", "small_up"):
    s = seconds(case)
    speed = lambda c: f"{files/s[c][0]:.0f} ({files/s[c][1]:.0f})"
    ratio = s["lftp"][1] / s["quillon"][1]
    ok &= ratio >= 1.0
    print(f"{files} files {case[6:]}, files/s best (median): lftp {speed('lftp')}, "
          f"quillon {speed('quillon')}; medians {ratio:.2f} x lftp (target 1.0; best runs "
          f"{s['lftp'][0] / s['quillon'][0]:.2f} x); load {load(case)}")
sys.exit(0 if ok else 1)
PY
