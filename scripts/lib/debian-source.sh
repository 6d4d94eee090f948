# Debian source packages for the cross-built libraries, and the libraries built from them,
# kept once per machine in the user's cache. Sourced by scripts/build-windows and
# scripts/build-web, after scripts/lib/messages.sh (say, die).
#
#   $XDG_CACHE_HOME/kavlo (default ~/.cache/kavlo)
#     apt/                      a private apt set-up with deb-src lines
#     src/<source>-<version>/   unpacked Debian sources
#     <target>/<compiler>-<version>/        one install prefix per target and compiler
#       stamps/<library>        the source version it was built from
#       build/<library>/, build/<library>.log
#
# A library is built again when the installed Debian version of its source or its
# recipe (the script's build_NAME function, and lib_recipe for what they share)
# changes; a new compiler gets a prefix of its own. Two clones building at once take
# turns.

kavlo_cache() {
  # The base-directory rules ignore a relative XDG_CACHE_HOME.
  local base=${XDG_CACHE_HOME:-}
  case $base in /*) ;; *) base=$HOME/.cache ;; esac
  echo "$base/kavlo"
}

cache_root=$(kavlo_cache)
apt_dir=$cache_root/apt
apt_opts=(-o "Dir::Etc::SourceList=$apt_dir/sources.list"
          -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
          -o "Dir::State::Lists=$apt_dir/lists"
          -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache="
          -o "APT::Sandbox::User=$(id -un)")  # the cache is this user's; no _apt to hand it to

# The deb-src lines are made from the Debian archives apt already uses (apt-cache policy
# lists them with their origin), so no host name lives in this repository and the
# system's own apt configuration is not touched.
prepare_apt() {
  [ -s "$apt_dir/lists/.updated" ] && [ "${1:-}" != --refresh ] && return
  mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial"
  apt-cache policy | awk '
    / [0-9]+ (https?|file):/ { uri = $2; split($3, sc, "/"); suite = sc[1]; comp = sc[2]; next }
    /release .*o=Debian/ && uri != "" { print uri, suite, comp; uri = "" }
  ' | sort -u | while read -r uri suite comp; do
    echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $uri $suite $comp"
  done >"$apt_dir/sources.list"
  [ -s "$apt_dir/sources.list" ] || die "no Debian archive found in apt's configuration"
  say "source list from apt's Debian archives: $apt_dir/sources.list"
  apt-get "${apt_opts[@]}" -qq update || die "apt-get update on $apt_dir/sources.list failed"
  date >"$apt_dir/lists/.updated"
}

# debian_source_version DEV_PACKAGE: "<source> <version>" of the installed package.
debian_source_version() {
  dpkg-query -W -f='${source:Package} ${source:Version}' "$1" 2>/dev/null \
    || die "$1 is not installed; run scripts/setup"
}

# Tries NAME=VERSION, then (a security update can replace the installed revision in the
# archive) the newest revision of the same upstream version. Prints what it fetched.
fetch_into() {
  local dir=$1 name=$2 version=$3 candidate
  if (cd "$dir" && apt-get "${apt_opts[@]}" -qq source "$name=$version" >/dev/null 2>&1); then
    echo "$version"
    return 0
  fi
  for candidate in $(apt-cache "${apt_opts[@]}" showsrc "$name" 2>/dev/null \
                     | awk '/^Version:/ { print $2 }' | sort -Vr); do
    [ "${candidate%-*}" = "${version%-*}" ] || continue
    if (cd "$dir" && apt-get "${apt_opts[@]}" -qq source "$name=$candidate" >/dev/null 2>&1); then
      echo "$candidate"
      return 0
    fi
  done
  return 1
}

# debian_source DEV_PACKAGE: unpacks the source of the version installed for Linux into
# the cache (once) and prints its folder.
debian_source() {
  local name version dir fetch fetched unpacked
  read -r name version <<<"$(debian_source_version "$1")"
  dir=$cache_root/src/$name-${version#*:}
  mkdir -p "$cache_root/src"
  exec 8>"$cache_root/src/.lock"
  flock 8
  if [ ! -d "$dir" ]; then
    prepare_apt
    say "apt-get source $name=$version"
    fetch=$(mktemp -d "$cache_root/src/.fetch.XXXXXX")
    # Lists older than the archive's newest revision: read them again once.
    fetched=$(fetch_into "$fetch" "$name" "$version") \
      || { prepare_apt --refresh; fetched=$(fetch_into "$fetch" "$name" "$version"); } \
      || { rm -rf "$fetch"; die "apt-get source: no source of $name ${version%-*} could be fetched"; }
    [ "$fetched" = "$version" ] || say "$name $version is no longer in the archive; using $fetched"
    unpacked=$(find "$fetch" -mindepth 1 -maxdepth 1 -type d | head -1)
    [ -n "$unpacked" ] || { rm -rf "$fetch"; die "apt-get source $name=$version unpacked nothing"; }
    mv "$unpacked" "$dir"
    rm -rf "$fetch"
  fi
  flock -u 8
  echo "$dir"
}

# compiler_version COMMAND: the Debian version of the package that holds the compiler,
# else what the compiler says of itself.
compiler_version() {
  local path package version
  path=$(readlink -f "$(command -v "$1")") || die "'$1' is missing"
  package=$(dpkg-query -S "$path" 2>/dev/null | head -1 | cut -d: -f1) || true
  version=$([ -n "$package" ] && dpkg-query -W -f='${Version}' "$package" 2>/dev/null) || true
  [ -n "$version" ] || version=$("$1" -dumpversion 2>/dev/null || "$1" --version | head -1)
  echo "${version//[^A-Za-z0-9.+~_-]/_}"
}

# library_prefix TARGET COMPILER [KEY]: sets lib_prefix (the install prefix) and lib_build
# (the build folders) for this target and compiler (and KEY, for what else makes the
# objects differ), and holds the prefix's lock until the script ends, so that another
# clone's build waits instead of writing into it.
library_prefix() {
  lib_prefix=$cache_root/$1/$(basename "$2")-$(compiler_version "$2")${3:+-$3}
  lib_build=$lib_prefix/build
  mkdir -p "$lib_prefix/stamps" "$lib_prefix/share/licenses" "$lib_build"
  exec 9>"$lib_prefix/.lock"
  if ! flock -n 9; then
    say "waiting for another build of the libraries in $lib_prefix"
    flock 9
  fi
}

# library_build NAME PACKAGE [SOURCE_DIR]: runs build_NAME with the source folder unless
# the prefix holds NAME built from the installed version of PACKAGE's source. The source
# is fetched from Debian unless SOURCE_DIR names one the package installed.
library_build() {
  local name=$1 want start=$SECONDS source=${3:-} recipe
  recipe=$( { declare -f "build_$name"; echo "${lib_recipe:-}"; } | sha1sum | cut -c1-12)
  want="$(debian_source_version "$2") recipe $recipe"
  if [ -f "$lib_prefix/stamps/$name" ] && [ "$(head -1 "$lib_prefix/stamps/$name")" = "$want" ]; then
    return 0
  fi
  [ -n "$source" ] || source=$(debian_source "$2")
  rm -f "$lib_prefix/stamps/$name"
  say "building $name (${want#* }) in $lib_build/$name"
  # The time a linker stamps into a DLL: the source's own release, not the build's.
  local released=""
  [ -f "$source/debian/changelog" ] \
    && released=$(dpkg-parsechangelog -l "$source/debian/changelog" -STimestamp 2>/dev/null)
  SOURCE_DATE_EPOCH=${released:-${SOURCE_DATE_EPOCH:-0}} "build_$name" "$source"
  printf '%s\nbuilt in %d s\n' "$want" "$((SECONDS - start))" >"$lib_prefix/stamps/$name"
  say "$name: $((SECONDS - start)) s"
}
