# Shared set-up for the README commands; source it, then call qarvel_setup
# (everything) or `qarvel_setup build` (what building and running a launcher
# need). Installs what is missing, fetches the zstd sources once and prepares
# a Wine prefix. A second call only checks and costs seconds.
#
# What it changes on the machine: it installs the Debian packages below
# (through `sudo apt-get` when not run as root). Everything else stays in the
# user's cache folder, ~/.cache/qarvel: the zstd sources, the private apt
# lists they are fetched with, and the Wine prefix.

QARVEL_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
QARVEL_CACHE="${QARVEL_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/qarvel}"
export WINEPREFIX="${QARVEL_WINEPREFIX:-$QARVEL_CACHE/wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

# Building qarvel-pack and launchers, and running launchers under Wine.
QARVEL_BUILD_PACKAGES=(
  cmake
  ninja-build
  g++
  pkg-config
  libzstd-dev
  zlib1g-dev
  libcli11-dev
  g++-mingw-w64-x86-64-posix
  gcc-mingw-w64-x86-64-posix
  binutils-mingw-w64-x86-64
  libz-mingw-w64-dev
  dpkg-dev   # apt-get source unpacks the zstd sources with dpkg-source
  xz-utils
  wine       # the toolchain file requires it; launchers run under it
  wine64
  util-linux # setsid, to start the Wine server apart from the caller's pipes
)

# The tests, the fuzzer, scripts/reliability and scripts/bench.
QARVEL_TEST_PACKAGES=(
  googletest
  clang            # the fuzzer, with its sanitizers and coverage
  libclang-rt-14-dev
  llvm
  icoutils         # reads the launcher's icon back
  python3-pefile   # reads the launcher image back: version strings, manifest, icons, checksum
  python3
  zstd             # the benchmark's comparison
  procps           # pgrep
  osslsigncode     # the signing test
  openssl
  xvfb             # a display for the windowed launcher's message box
)

# Wine 8's loader is a program at the fixed address 0x7d000000, and newer
# Linux kernels (6.18 here) start its C heap anywhere in the 1 GiB above it.
# In about one start of 1,800 the heap lands on 0x7ff00000-0x7fff0000, where
# Wine maps the page every Windows program reads first: Wine prints "failed
# to map the shared user data" (hidden by WINEDEBUG=-all) and the program
# ends with status 1 before any of its code runs; a launcher starting its
# child then reports error 1359. Windows has no such failure. With address
# randomization off the heap follows the loader at once, so the scripts that
# run Windows programs run themselves, and all they start, that way.
# Call it first, with the script's arguments.
qarvel_without_address_randomization() {
  local personality
  personality="$(cat /proc/self/personality 2>/dev/null)" || return 0
  # ADDR_NO_RANDOMIZE, inherited by every process started from here on.
  (((16#$personality & 0x0040000) == 0)) || return 0
  setarch "$(uname -m)" --addr-no-randomize true 2>/dev/null || return 0
  exec setarch "$(uname -m)" --addr-no-randomize "$BASH" "$0" "$@"
}

qarvel_log() { printf '[setup] %s\n' "$*" >&2; }

qarvel_is_root() { [ "$(id -u)" -eq 0 ]; }

# Installs through apt-get alone, so that a user allowed nothing but
# `sudo apt-get` can set up. sudo refuses to pass DEBIAN_FRONTEND to such a
# user's commands; apt then asks on the user's terminal, if anything.
qarvel_apt_get_as_root() {
  if qarvel_is_root; then
    DEBIAN_FRONTEND=noninteractive apt-get "$@"
  elif command -v sudo >/dev/null; then
    sudo apt-get "$@"
  else
    qarvel_log "installing packages needs root or sudo: run as root, or as a user who may sudo apt-get"
    return 1
  fi
}

qarvel_install_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  qarvel_log "installing: ${missing[*]}"
  # Another set-up may be installing at the same time: wait for its lock.
  qarvel_apt_get_as_root -o DPkg::Lock::Timeout=600 update -qq
  qarvel_apt_get_as_root -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# Earlier set-ups wrote a source entry into /etc/apt readable by root alone,
# which broke apt for every other user. Root makes it readable again; the
# set-up itself no longer needs it.
qarvel_repair_old_source_entry() {
  local f
  for f in /etc/apt/sources.list.d/qarvel-deb-src.sources /etc/apt/sources.list.d/qarvel-deb-src.list; do
    [ -e "$f" ] || continue
    [ "$(stat -c %a "$f")" = 644 ] && continue
    if qarvel_is_root; then
      chmod 0644 "$f"
    else
      qarvel_log "$f is not readable by all, and apt warns for every user but root; ask root to run: chmod 0644 $f"
    fi
  done
}

# apt with a private configuration in the cache: source entries derived from
# the machine's package entries (so no mirror is named here), lists and
# caches of its own. It needs no root and leaves the machine's apt alone.
QARVEL_APT="$QARVEL_CACHE/apt"

qarvel_private_apt() {
  local tool="$1"
  shift
  local sandbox=()
  # Root's apt downloads as the user _apt, who cannot enter root's home.
  qarvel_is_root && sandbox=(-o APT::Sandbox::User=root)
  "$tool" -o Dir::Etc::SourceList="$QARVEL_APT/sources.list" \
    -o Dir::Etc::SourceParts="$QARVEL_APT/sources.list.d" \
    -o Dir::State::Lists="$QARVEL_APT/lists" -o Dir::Cache="$QARVEL_APT/cache" \
    "${sandbox[@]}" "$@"
}

qarvel_derive_source_entries() {
  local f parts="$QARVEL_APT/sources.list.d"
  rm -rf "$parts"
  mkdir -p "$parts" "$QARVEL_APT/lists/partial" "$QARVEL_APT/cache/archives/partial"
  : >"$QARVEL_APT/sources.list"
  # The entries of earlier set-ups would only repeat the others.
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -r "$f" ] && [ "${f##*/}" != qarvel-deb-src.sources ] || continue
    sed -E 's/^Types:.*$/Types: deb-src/I' "$f" >>"$parts/derived.sources"
    printf '\n' >>"$parts/derived.sources"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -r "$f" ] && [ "${f##*/}" != qarvel-deb-src.list ] || continue
    sed -nE 's/^[[:space:]]*deb(-src)?[[:space:]]+/deb-src /p' "$f"
  done | sort -u >"$parts/derived.list"
}

# The zstd sources land once in the cache, outside the repository.
qarvel_fetch_zstd() {
  local dir="$QARVEL_CACHE/zstd-src"
  if [ -f "$dir/.complete" ]; then
    QARVEL_ZSTD_SOURCE="$(cat "$dir/.complete")"
    [ -f "$QARVEL_ZSTD_SOURCE/lib/zstd.h" ] && return 0
  fi
  qarvel_log "fetching Debian's zstd source package"
  qarvel_derive_source_entries
  local log="$QARVEL_APT/update.log"
  qarvel_private_apt apt-get update >"$log" 2>&1 || true
  rm -rf "$dir"
  mkdir -p "$dir"
  local versions v ok=0
  # The newest source version is tried first; a suite may list a version
  # whose files its archive does not carry.
  versions="$(qarvel_private_apt apt-cache showsrc libzstd 2>/dev/null | sed -n 's/^Version: //p' | sort -Vr | uniq)"
  if [ -z "$versions" ]; then
    cat "$log" >&2
    qarvel_log "no zstd source package is known to apt"
    return 1
  fi
  for v in $versions; do
    if (cd "$dir" && qarvel_private_apt apt-get source -qq "libzstd=$v" >/dev/null 2>&1); then
      ok=1
      break
    fi
    find "$dir" -mindepth 1 -delete
  done
  [ $ok -eq 1 ] || { qarvel_log "could not fetch the zstd source package"; return 1; }
  QARVEL_ZSTD_SOURCE="$(find "$dir" -mindepth 1 -maxdepth 1 -type d -name 'libzstd-*' | head -n1)"
  [ -f "$QARVEL_ZSTD_SOURCE/lib/zstd.h" ] || { qarvel_log "zstd source has no lib/zstd.h"; return 1; }
  echo "$QARVEL_ZSTD_SOURCE" >"$dir/.complete"
}

qarvel_prepare_wine() {
  if [ ! -f "$WINEPREFIX/.qarvel-ready" ]; then
    qarvel_log "preparing the Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w || true
    touch "$WINEPREFIX/.qarvel-ready"
  fi
}

# A wineserver kept alive for the run saves about a second per process. The
# prefix's services start with the first Windows process and keep its open
# descriptors: they are started here, detached, so that no test's output
# pipe stays open behind them and keeps a test runner waiting.
qarvel_start_wineserver() {
  setsid wineserver -p </dev/null >/dev/null 2>&1 || true
  setsid wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
}

# Waits up to a minute for FILE to appear, or less when process PID (if
# given) ends first; true when the file is there.
qarvel_wait_for_file() {
  local file="$1" pid="${2:-}" i
  for ((i = 0; i < 600; i++)); do
    [ -e "$file" ] && return 0
    if [ -n "$pid" ] && ! kill -0 "$pid" 2>/dev/null; then break; fi
    sleep 0.1
  done
  [ -e "$file" ]
}

# Windows programs that show windows (the windowed launcher's message box)
# need an X server under Wine: a virtual one of the run's own, on a display
# number it picks itself, so that runs side by side do not meet.
qarvel_start_display() {
  local number_file
  number_file="$(mktemp)"
  setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp ${QARVEL_XVFB_OPTIONS:-} \
    3>"$number_file" </dev/null >/dev/null 2>&1 &
  QARVEL_XVFB_PID=$!
  local i
  for ((i = 0; i < 100; i++)); do
    [ -s "$number_file" ] && break
    sleep 0.1
  done
  if [ ! -s "$number_file" ]; then
    rm -f "$number_file"
    qarvel_log "Xvfb did not start"
    return 1
  fi
  export DISPLAY=":$(tr -d '[:space:]' <"$number_file")"
  rm -f "$number_file"
}

qarvel_stop_display() {
  if [ -n "${QARVEL_XVFB_PID:-}" ]; then
    kill "$QARVEL_XVFB_PID" 2>/dev/null || true
    QARVEL_XVFB_PID=""
  fi
}

# Waits for the server to be gone, so a server started next is not refused
# by one still shutting down.
qarvel_stop_wineserver() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
}

# The Windows tests work in the prefix's temporary folder; what an earlier
# run left there (gigabytes, and paths too long for Windows-side clearing)
# goes before a new run.
qarvel_clear_test_folders() {
  rm -rf "$WINEPREFIX"/drive_c/users/*/Temp/qarvel-tests
}

qarvel_setup() {
  if [ "${1:-}" = build ]; then
    qarvel_install_packages "${QARVEL_BUILD_PACKAGES[@]}"
  else
    qarvel_install_packages "${QARVEL_BUILD_PACKAGES[@]}" "${QARVEL_TEST_PACKAGES[@]}"
  fi
  qarvel_repair_old_source_entry
  qarvel_fetch_zstd
  qarvel_prepare_wine
  export QARVEL_ZSTD_SOURCE
}
