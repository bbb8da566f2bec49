# shellcheck shell=bash
# What the scripts share, sourced from the checkout's root:
#   source scripts/common.sh
# Packages and apt: root needs no sudo. apt's lists are fetched at most once
# for a run (.ci/run and the scripts it starts): RASTELLO_APT_UPDATED is 1
# once fetched, 0 when a source was added since, unset when not known;
# RASTELLO_APT_LISTS_FAILED is 1 when some lists could not be fetched.

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
export DEBIAN_FRONTEND=noninteractive

apt_update() {
  if [ "${RASTELLO_APT_UPDATED:-}" != 1 ]; then
    # A mirror caught mid-sync serves lists that fail their checks for a
    # minute or two: try again. A list that still fails is left out (apt
    # keeps the others); whether what is needed can be installed without it
    # is for apt-get install to say.
    local attempt
    for attempt in 1 2 3; do
      if $SUDO apt-get update -qq; then break; fi
      if [ "$attempt" = 3 ]; then
        echo "apt-get update: some lists failed three times; going on with the others" >&2
        export RASTELLO_APT_LISTS_FAILED=1
        break
      fi
      echo "apt-get update failed (attempt $attempt of 3); trying again in 20 s" >&2
      sleep 20
    done
    export RASTELLO_APT_UPDATED=1
  fi
}

# apt_update_if_stale: fetches the lists only when a source was added.
apt_update_if_stale() {
  if [ "${RASTELLO_APT_UPDATED:-}" = 0 ]; then apt_update; fi
}

packages_of() {  # packages_of LIST...: the package names in the lists
  grep -hv '^#' "$@" | sort -u
}

# install_packages LIST...: installs what the lists name and is missing;
# nothing to do, and no root needed, when all are installed.
install_packages() {
  local packages
  packages=$(packages_of "$@")
  # shellcheck disable=SC2086
  if [ "$(dpkg-query -W -f='${Status}\n' $packages 2>/dev/null | grep -cx 'install ok installed')" \
    -ne "$(echo "$packages" | wc -w)" ]; then
    apt_update
    # shellcheck disable=SC2086
    $SUDO apt-get install -y -qq --no-install-recommends $packages >/dev/null
  fi
}

# The i386 architecture, which wine32 comes from.
add_i386_architecture() {
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    export RASTELLO_APT_UPDATED=0
  fi
}

# apt-get source needs deb-src entries, which Debian 12 images lack: a file
# of our own with the deb entries' sources, the system's list left as it is.
add_source_entries() {
  if grep -rqsE --include='*.list' --include='*.sources' '^(deb-src|Types:.*deb-src)' \
    /etc/apt/sources.list /etc/apt/sources.list.d/; then
    return
  fi
  if [ ! -f /etc/apt/sources.list.d/debian.sources ]; then
    echo "no deb-src entries, and no /etc/apt/sources.list.d/debian.sources to copy them from" >&2
    return 1
  fi
  sed -e 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
    | $SUDO tee /etc/apt/sources.list.d/rastello-deb-src.sources >/dev/null
  export RASTELLO_APT_UPDATED=0
}

# ccache, when installed, keeps compiled objects between runs on this
# machine (in its own folder: ~/.cache/ccache, or $CCACHE_DIR), so a rerun
# compiles only what changed. The tests' objects include a precompiled
# header, which ccache takes only with this sloppiness (nothing here uses
# __DATE__ or __TIME__). Without ccache the launcher is cleared, also in a
# build folder that had it. For cmake's configure step:
#   cmake -S . -B build "${CCACHE_ARGS[@]}"
launcher=""
if command -v ccache >/dev/null; then
  launcher="env;CCACHE_SLOPPINESS=pch_defines,time_macros;ccache"
fi
# shellcheck disable=SC2034  # used by the scripts that source this file
CCACHE_ARGS=(-DCMAKE_C_COMPILER_LAUNCHER="$launcher" -DCMAKE_CXX_COMPILER_LAUNCHER="$launcher")
unset launcher
