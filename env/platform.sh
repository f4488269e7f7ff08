# The platforms that the toolchain (env/py313) and the real server
# (env/odoo17) run on, chosen by LUMQ_PLATFORM.  Sourced, not run.
#
#   debian13 (the default)  Debian 13 (trixie), CPython 3.13, PostgreSQL 17;
#                           Odoo 17 needs shims there (env/odoo17 says which)
#   debian12                Debian 12 (bookworm), its own CPython 3.11 and
#                           PostgreSQL 15, Odoo 17's dependencies from Debian
#                           12 and nothing of Odoo patched or shadowed
#
# Sets LUMQ_PLATFORM, LUMQ_SUITE (the Debian suite), LUMQ_PYTHON (the Python
# that every test, demo and benchmark script calls), LUMQ_PG_VERSION, the
# default loopback ports, the toolchain's and the server's default roots, and
# LUMQ_FROM_TRIXIE: what Debian 12 lacks, unpacked from Debian 13's
# architecture-independent packages into a folder of its own inside the root.

lumq_platform() {
    LUMQ_PLATFORM=${LUMQ_PLATFORM:-debian13}
    case $LUMQ_PLATFORM in
        debian13)
            LUMQ_SUITE=trixie LUMQ_PYTHON=python3.13 LUMQ_PG_VERSION=17
            lumq_default_pg_port=54317 lumq_default_http_port=18069
            lumq_default_toolchain_root=/var/cache/lumq_spell/trixie
            lumq_default_server_root=/var/cache/lumq_spell/odoo17-root
            LUMQ_FROM_TRIXIE= ;;
        debian12)
            LUMQ_SUITE=bookworm LUMQ_PYTHON=python3 LUMQ_PG_VERSION=15
            lumq_default_pg_port=54312 lumq_default_http_port=18012
            # one root serves as both: it has the build tools and the server
            lumq_default_toolchain_root=/var/cache/lumq_spell/odoo17-bookworm-root
            lumq_default_server_root=/var/cache/lumq_spell/odoo17-bookworm-root
            LUMQ_FROM_TRIXIE=/opt/lumq_spell/from-trixie ;;
        *)
            echo "LUMQ_PLATFORM=$LUMQ_PLATFORM: name debian13 (the default) or debian12" >&2
            exit 2 ;;
    esac
    export LUMQ_PLATFORM LUMQ_PYTHON
}

# lumq_from_trixie ROOT: on Debian 12, what it lacks, from Debian 13's
# architecture-independent packages: pybind11 2.13's headers and CMake files,
# and pypinyin; unpacked once into LUMQ_FROM_TRIXIE (a no-op on Debian 13).
lumq_from_trixie() {
    local root=$1 packages=(pybind11-dev python3-pypinyin)
    [ -n "$LUMQ_FROM_TRIXIE" ] || return 0
    local stamp="$root$LUMQ_FROM_TRIXIE/.lumq-packages"
    [ "$(cat "$stamp" 2>/dev/null)" = "${packages[*]}" ] && return
    echo "unpacking ${packages[*]} of Debian 13 into $root$LUMQ_FROM_TRIXIE" >&2
    lumq_unpack_debs "$root" trixie "$LUMQ_FROM_TRIXIE" "${packages[@]}"
    echo "${packages[*]}" > "$stamp"
}

# lumq_root_env: the environment of a command inside a root of the platform
# (an array for env): PATH, the platform, its Python, and on Debian 12 where
# CMake and Python find what was unpacked from Debian 13.
lumq_set_root_env() {
    lumq_root_env=(PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root
                   LANG=C.UTF-8 CI="${CI:-}" LUMQ_PLATFORM="$LUMQ_PLATFORM" LUMQ_PYTHON="$LUMQ_PYTHON")
    if [ -n "$LUMQ_FROM_TRIXIE" ]; then
        lumq_root_env+=(CMAKE_PREFIX_PATH="$LUMQ_FROM_TRIXIE/usr"
                        PYTHONPATH="$LUMQ_FROM_TRIXIE/usr/lib/python3/dist-packages")
    fi
}
