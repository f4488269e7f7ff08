# Shell functions shared by env/py313 and env/odoo17: the Debian mirror this
# machine uses, making a Debian root once, and running a command inside it.
# Sourced, not run.

# The Debian mirror this machine already uses, read from its apt sources.
lumq_mirror() {
    local uri
    uri=$(grep -hE '^\s*URIs:' /etc/apt/sources.list.d/*.sources 2>/dev/null |
          awk '{print $2}' | grep -v -- '-security' | head -n 1 || true)
    if [ -z "$uri" ]; then
        uri=$(grep -hE '^\s*deb\s' /etc/apt/sources.list 2>/dev/null |
              awk '{for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) {print $i; exit}}' |
              grep -v -- '-security' | head -n 1 || true)
    fi
    [ -n "$uri" ] || { echo "no Debian mirror found in the apt sources" >&2; exit 1; }
    echo "$uri"
}

# lumq_bootstrap ROOT [SUITE]: a minimal Debian root of SUITE (default trixie,
# Debian 13; bookworm is Debian 12) in ROOT, made once, with apt pointed at
# this machine's mirror.
lumq_bootstrap() {
    local root=$1 suite=${2:-trixie} url
    [ "$(id -u)" = 0 ] || { echo "making the Debian $suite root $root needs root" >&2; exit 1; }
    if ! command -v debootstrap >/dev/null; then
        apt-get update -qq && apt-get install -y -qq debootstrap >/dev/null
    fi
    url=$(lumq_mirror)
    if [ ! -x "$root/usr/bin/apt-get" ]; then
        echo "making a Debian $suite root in $root" >&2
        rm -rf "$root.part"
        mkdir -p "$(dirname "$root")"
        # debootstrap may end in "Failure while configuring base packages"
        # when a package needs a virtual package it does not resolve; apt
        # mends that below, so only a root without apt is a failure.
        debootstrap --variant=minbase "$suite" "$root.part" "$url" >/dev/null ||
            [ -x "$root.part/usr/bin/apt-get" ]
        mv "$root.part" "$root"
    fi
    echo "deb $url $suite main" > "$root/etc/apt/sources.list"
    rm -f "$root"/etc/apt/sources.list.d/*.sources
}

# lumq_in_root ROOT BINDS CMD...: runs CMD inside ROOT, in the current
# folder, with /dev, /proc, a private /tmp and each folder of BINDS (a list
# separated by colons) mounted at the same path, in a private mount
# namespace: nothing stays mounted when the command ends.
lumq_in_root() {
    local root=$1 binds=$2
    shift 2
    unshare --mount --propagation private -- /bin/sh -s "$root" "$binds" "$PWD" "$@" <<'SH'
set -e
root=$1; binds=$2; cwd=$3; shift 3
mkdir -p "$root/dev" "$root/proc" "$root/tmp"
mount --rbind /dev "$root/dev"
mount -t proc proc "$root/proc"
mount -t tmpfs tmpfs "$root/tmp"
IFS=:
for dir in $binds; do
    [ -n "$dir" ] || continue
    mkdir -p "$root$dir"
    mount --bind "$dir" "$root$dir"
done
unset IFS
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
exec chroot "$root" /bin/sh -c 'cd "$0" && exec "$@"' "$cwd" "$@"
SH
}

# lumq_apt_in_root ROOT PACKAGES...: installs packages inside ROOT.
lumq_apt_in_root() {
    local root=$1
    shift
    lumq_in_root "$root" "" env DEBIAN_FRONTEND=noninteractive PATH=/usr/sbin:/usr/bin:/sbin:/bin sh -c \
        'apt-get update -qq && dpkg --configure -a && apt-get install -y -qq --no-install-recommends "$@" >/dev/null' \
        apt "$@"
}

# lumq_unpack_debs ROOT SUITE DEST PACKAGES...: downloads the .debs of
# PACKAGES from SUITE of this machine's mirror with ROOT's apt, in a private
# apt state (ROOT's own sources and package lists stay as they are), and
# unpacks them with dpkg-deb -x into DEST, a folder inside ROOT of their own:
# nothing is installed over ROOT's packages.
lumq_unpack_debs() {
    local root=$1 suite=$2 dest=$3 url
    shift 3
    url=$(lumq_mirror)
    rm -rf "${root:?}$dest"
    mkdir -p "$root$dest"
    (cd / && lumq_in_root "$root" "" env PATH=/usr/sbin:/usr/bin:/sbin:/bin \
        sh -c 'set -e
            url=$1 suite=$2 dest=$3; shift 3
            state=/tmp/apt-$suite
            mkdir -p "$state/lists/partial" "$state/archives/partial" "$state/debs"
            echo "deb $url $suite main" > "$state/sources.list"
            opts="-o Dir::Etc::SourceList=$state/sources.list -o Dir::Etc::SourceParts=/nonexistent
                  -o Dir::State::Lists=$state/lists -o Dir::Cache=$state -o APT::Sandbox::User=root"
            apt-get -qq $opts update
            cd "$state/debs" && apt-get -qq $opts download "$@"
            for deb in "$state"/debs/*.deb; do dpkg-deb -x "$deb" "$dest"; done' \
        unpack "$url" "$suite" "$dest" "$@")
}
