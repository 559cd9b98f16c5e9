#!/usr/bin/env bash
# Runs a command in a clean clone of a repository's committed HEAD on a fresh,
# minimal Debian 12 (bookworm) root: what a newcomer's new machine holds, so
# that the README's commands are proven to set one up from nothing.
#
#   tools/fresh-debian.sh REPOSITORY COMMAND      e.g. tools/fresh-debian.sh . "make test"
#
# Needs root, mmdebstrap or debootstrap, unshare (util-linux) and network for
# apt. The root (Debian's minbase set and make) is made once and kept as a
# tarball in ${XDG_CACHE_HOME:-$HOME/.cache}/tarnwick-fresh-debian: delete it
# for a new one. Each run unpacks it under ${TMPDIR:-/var/tmp}, clones HEAD into
# it (what is not committed is not there), runs COMMAND there as root in a bare
# environment, in mount and PID namespaces of its own (/dev, /proc, /sys, /run
# and /tmp are mounted there only, and whatever COMMAND leaves running ends
# with it), and removes the root. The exit status is COMMAND's.
set -euo pipefail

if [ $# -ne 2 ]; then
    sed -n '2,15s/^# \{0,1\}//p' "$0" >&2
    exit 2
fi
if [ "$(id -u)" != 0 ]; then
    echo "fresh-debian: run as root (it unpacks a root, mounts and chroots)" >&2
    exit 2
fi

repo=$(git -C "$1" rev-parse --show-toplevel)
command=$2
head=$(git -C "$repo" rev-parse --verify HEAD)
if [ -n "$(git -C "$repo" status --porcelain)" ]; then
    echo "fresh-debian: $repo has changes that are not committed; the clone holds $head only" >&2
fi

cache=${XDG_CACHE_HOME:-$HOME/.cache}/tarnwick-fresh-debian
tarball=$cache/bookworm-minbase-make.tar
if [ ! -f "$tarball" ]; then
    mkdir -p "$cache"
    echo "fresh-debian: making a Debian 12 root once, into $tarball"
    if command -v mmdebstrap >/dev/null; then
        mmdebstrap --quiet --variant=minbase --include=make --format=tar bookworm "$tarball.part"
    elif command -v debootstrap >/dev/null; then
        made=$(mktemp -d "${TMPDIR:-/var/tmp}/tarnwick-debootstrap.XXXXXX")
        debootstrap --variant=minbase --include=make bookworm "$made" >"$made.log" 2>&1 \
            || { cat "$made.log" >&2; rm -rf --one-file-system "$made" "$made.log"; exit 1; }
        tar -C "$made" --numeric-owner -cf "$tarball.part" .
        rm -rf --one-file-system "$made" "$made.log"
    else
        echo "fresh-debian: needs mmdebstrap or debootstrap (apt-get install mmdebstrap)" >&2
        exit 2
    fi
    mv "$tarball.part" "$tarball"
fi

root=$(mktemp -d "${TMPDIR:-/var/tmp}/tarnwick-fresh.XXXXXX")
# The namespaces' mounts end with their last process; outside them the root is
# plain folders, so removing it never reaches the machine's /dev or /sys.
trap 'rm -rf --one-file-system "$root"' EXIT
tar -C "$root" --numeric-owner -xpf "$tarball"
# The machine's name servers, as a new machine on this network would have them,
# and the hosts file that Debian's installer writes (the root has none).
cp -L /etc/resolv.conf "$root/etc/resolv.conf"
if [ ! -e "$root/etc/hosts" ]; then
    printf '127.0.0.1\tlocalhost\n127.0.1.1\t%s\n\n::1\tlocalhost ip6-localhost ip6-loopback\nff02::1\tip6-allnodes\nff02::2\tip6-allrouters\n' \
        "$(cat "$root/etc/hostname" 2>/dev/null || echo debian)" >"$root/etc/hosts"
fi

home=/root
work=$home/$(basename "$repo")
git clone --quiet --no-checkout "$repo" "$root$work"
git -C "$root$work" fetch --quiet origin "$head"
git -C "$root$work" checkout --quiet --detach "$head"
git -C "$root$work" remote remove origin

echo "fresh-debian: running \"$command\" in $work at $head"
start=$(date +%s)
status=0
unshare --mount --propagation private --pid --fork --kill-child -- /bin/bash -c '
    set -e
    root=$1
    # The root is a mount point, as the / of a machine is: whatever makes a
    # mount namespace of its own (ip netns exec, a private tmpfs) needs one.
    mount --bind "$root" "$root"
    mount --rbind /dev "$root/dev"
    mount -t proc proc "$root/proc"
    mount --rbind /sys "$root/sys"
    mount -t tmpfs -o mode=0755 tmpfs "$root/run"
    mount -t tmpfs -o mode=1777 tmpfs "$root/tmp"
    exec chroot "$root" /usr/bin/env -i HOME="$2" USER=root LOGNAME=root SHELL=/bin/bash TERM=dumb \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        /bin/bash -c "cd \"\$1\" && eval \"\$2\"" bash "$3" "$4"
' bash "$root" "$home" "$work" "$command" || status=$?
elapsed=$(($(date +%s) - start))
echo "fresh-debian: \"$command\" exited with $status after $((elapsed / 60)) min $((elapsed % 60)) s"
exit "$status"
