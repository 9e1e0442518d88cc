#!/bin/sh
# Runs a test program in a mount namespace of its own in which the crontab spool
# (/var/spool/cron/crontabs) is an empty temporary folder, so that the real `crontab` command can
# be used without touching anybody's crontab. No cron daemon is started. The program sees
# QUILLON_PRIVATE_CRON=1 there. When no such namespace can be made (not root and no user
# namespaces, or no cron installed) it runs as it is, without QUILLON_PRIVATE_CRON, and its
# crontab cases skip themselves.
[ $# -gt 0 ] || { echo "usage: private_cron.sh PROGRAM [ARGUMENTS]" >&2; exit 2; }
spool=/var/spool/cron/crontabs
if [ "$(id -u)" = 0 ]; then
  namespace="unshare --mount --propagation private"
else
  namespace="unshare --map-root-user --mount"
fi
if command -v crontab >/dev/null 2>&1 && [ -d "$spool" ] &&
   $namespace sh -c "mount --bind /tmp '$spool'" >/dev/null 2>&1; then
  private=$(mktemp -d) || exit 1
  $namespace sh -c 'mount --bind "$0" "$1" && shift && QUILLON_PRIVATE_CRON=1 exec "$@"' \
    "$private" "$spool" "$@"
  status=$?
  rm -rf "$private"
  exit $status
fi
unset QUILLON_PRIVATE_CRON
exec "$@"
