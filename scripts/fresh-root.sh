#!/usr/bin/env bash
# Runs the README's two commands as a new maintainer would, on a fresh
# minimal Debian 12 or 13 made beside this machine: a normal user with sudo
# clones this checkout's last commit and runs demo.sh, then test.sh. The
# release the demo packed is kept in build/debian-<12|13>-dist.
#
#   fresh-root.sh 12|13
#   TOLLWICK_FUZZ_SECONDS, TOLLWICK_32BIT   passed on to the commands
#
# The machine is left as it was found. The root is a temporary folder,
# removed at the end; every mount lives in a private mount namespace and
# ends with it. The root is entered with pivot_root, not chroot: a chroot
# refuses the user namespace in which 32-bit Windows programs run under
# emulation.
set -euo pipefail
[ "$(id -u)" = 0 ] || exec sudo --preserve-env=TOLLWICK_FUZZ_SECONDS,TOLLWICK_32BIT bash "$0" "$@"
checkout=$(cd "$(dirname "$0")/.." && pwd)
declare -A codenames=([12]=bookworm [13]=trixie)
release=${1:-}
codename=${codenames[$release]:-}
[ -n "$codename" ] || { echo "usage: $0 12|13" >&2; exit 2; }

bash "$checkout/scripts/setup.sh" debootstrap
root=$(mktemp -d /var/tmp/tollwick-debian-$release.XXXXXX)
trap 'rm -rf --one-file-system "$root"' EXIT
chmod 755 "$root"
started=$SECONDS

echo "== Debian $release ($codename): a minimal root in $root"
unshare --mount --propagation private \
  debootstrap --variant=minbase --include=sudo,git,ca-certificates --arch=amd64 \
  "$codename" "$root" http://deb.debian.org/debian >"$root.debootstrap.log" 2>&1 ||
  { tail -n 20 "$root.debootstrap.log" >&2; rm -f "$root.debootstrap.log"; exit 1; }
rm -f "$root.debootstrap.log"
# Its archives as a real install has them: the release, its updates and its
# security archive.
rm -f "$root/etc/apt/sources.list"
cat >"$root/etc/apt/sources.list.d/debian.sources" <<EOF
Types: deb
URIs: http://deb.debian.org/debian
Suites: $codename $codename-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: http://deb.debian.org/debian-security
Suites: $codename-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
cp /etc/resolv.conf "$root/etc/resolv.conf"
git clone --quiet "$checkout" "$root/home/maintainer/tollwick"
echo "== root made in $((SECONDS - started)) s; the commands of $(git -C "$checkout" log -1 --format='%h %s' | cut -c1-60)"

# As the new user: each command timed, the first failure ends the run.
commands=$(printf 'export TOLLWICK_FUZZ_SECONDS=%q TOLLWICK_32BIT=%q; cd ~/tollwick' \
  "${TOLLWICK_FUZZ_SECONDS:-60}" "${TOLLWICK_32BIT:-}")
for command in "bash scripts/demo.sh" "bash scripts/test.sh"; do
  commands+=" && SECONDS=0 && $command && echo \"== '$command' passed in \$SECONDS s as \$(id -un)\""
done
# Inside the namespace, as root of the new root: a user with sudo, as a
# fresh install has one, runs the commands.
inside="useradd --create-home --shell /bin/bash maintainer 2>/dev/null || true
echo 'maintainer ALL=(ALL:ALL) NOPASSWD: ALL' >/etc/sudoers.d/maintainer
chown -R maintainer: /home/maintainer
exec su --login maintainer --command $(printf %q "$commands")"
unshare --mount --propagation private --pid --fork bash -euo pipefail -c '
  root=$1
  mount --bind "$root" "$root"
  mount --rbind /dev "$root/dev"
  mount --rbind /sys "$root/sys"
  mount -t tmpfs -o mode=1777 tmpfs "$root/tmp"
  cd "$root"
  mkdir -p .old-root
  pivot_root . .old-root
  cd /
  mount -t proc proc /proc
  umount --lazy /.old-root
  rmdir /.old-root
  exec env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root TERM="${TERM:-dumb}" bash -c "$2"
' enter "$root" "$inside"
# The release the demo packed there, to compare with a published one.
rm -rf "$checkout/build/debian-$release-dist"
mkdir -p "$checkout/build"
cp -r "$root/home/maintainer/tollwick/dist" "$checkout/build/debian-$release-dist"
echo "== Debian $release: both commands passed as a normal user, $((SECONDS - started)) s in all;" \
  "the release it packed is in build/debian-$release-dist"
