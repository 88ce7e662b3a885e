# SPDX-License-Identifier: GPL-3.0-or-later
# shellcheck shell=sh
# Sourced by the process tests. They run as root of a user and mount namespace of their own, where
# /dev and /run (and with it /run/lock, which /var/lock points to on Debian) are private: the
# /dev/ttyS4 link, the serial lock and the demo's marker meet no one else's, whoever runs the test,
# however many run at once, and no root is needed.

# Exits with 77, the reason printed, where the kernel allows no user namespace.
require_user_namespaces() {
  if ! reason=$(unshare --user --map-root-user --mount true 2>&1); then
    echo "SKIP: no user namespace for a private /dev/ttyS4 (${reason:-unshare failed})"
    exit 77
  fi
}

# In the namespace: /dev becomes a fresh tmpfs with the devices the tests use, /run an empty one
# with a lock directory open to all. mount_point is an empty directory, empty again afterwards.
make_private_dev_and_run() {
  mount_point=$1
  mount -n -t tmpfs -o mode=755 tmpfs "$mount_point" || return 1
  for node in null zero full random urandom tty; do
    : >"$mount_point/$node" && mount -n --bind "/dev/$node" "$mount_point/$node" || return 1
  done
  # Pseudo-terminals of the namespace's own.
  mkdir "$mount_point/pts" "$mount_point/shm" &&
    mount -n -t devpts -o newinstance,ptmxmode=0666,mode=0620 devpts "$mount_point/pts" &&
    ln -s pts/ptmx "$mount_point/ptmx" &&
    mount -n --rbind /dev/shm "$mount_point/shm" || return 1
  ln -s /proc/self/fd "$mount_point/fd" &&
    ln -s /proc/self/fd/0 "$mount_point/stdin" &&
    ln -s /proc/self/fd/1 "$mount_point/stdout" &&
    ln -s /proc/self/fd/2 "$mount_point/stderr" || return 1
  mount -n --move "$mount_point" /dev || return 1
  mount -n -t tmpfs -o mode=755 tmpfs /run && mkdir -m 1777 /run/lock || return 1
  if [ -d /var/lock ] && [ ! -L /var/lock ]; then
    mount -n -t tmpfs -o mode=1777 tmpfs /var/lock || return 1
  fi
}
