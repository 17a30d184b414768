# Shared set-up for the README commands; source it, then call qarvel_setup.
# Installs what is missing, fetches the zstd sources once and prepares a
# Wine prefix. A second call only checks and costs seconds.

QARVEL_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
QARVEL_CACHE="${QARVEL_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/qarvel}"
export WINEPREFIX="${QARVEL_WINEPREFIX:-$QARVEL_CACHE/wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

QARVEL_PACKAGES=(
  cmake ninja-build g++ pkg-config
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  libz-mingw-w64-dev libzstd-dev zlib1g-dev libcli11-dev googletest
  wine wine64 dpkg-dev xz-utils icoutils python3
  clang libclang-rt-14-dev llvm zstd procps util-linux
  osslsigncode openssl
  xvfb
)

qarvel_log() { printf '[setup] %s\n' "$*" >&2; }

qarvel_sudo() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

qarvel_install_packages() {
  local missing=() p
  for p in "${QARVEL_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  qarvel_log "installing: ${missing[*]}"
  qarvel_sudo apt-get update -qq
  qarvel_sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# Source packages are enabled by deriving deb-src entries from the machine's
# own apt sources, so no mirror is named here.
qarvel_enable_deb_src() {
  local have_src=0 f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    if grep -Eq '^[[:space:]]*deb-src[[:space:]]' "$f" || grep -Eq '^Types:.*deb-src' "$f"; then have_src=1; fi
  done
  [ $have_src -eq 1 ] && return 0
  qarvel_log "enabling Debian source packages"
  local out_sources=/etc/apt/sources.list.d/qarvel-deb-src.sources
  local out_list=/etc/apt/sources.list.d/qarvel-deb-src.list
  local tmp_sources tmp_list
  tmp_sources="$(mktemp)"; tmp_list="$(mktemp)"
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    sed -n 's/^Types:[[:space:]]*deb[[:space:]]*$/Types: deb-src/;p' "$f" >>"$tmp_sources"
    printf '\n' >>"$tmp_sources"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$f" >>"$tmp_list"
  done
  if grep -q '^Types: deb-src' "$tmp_sources"; then qarvel_sudo cp "$tmp_sources" "$out_sources"; fi
  if [ -s "$tmp_list" ]; then qarvel_sudo cp "$tmp_list" "$out_list"; fi
  rm -f "$tmp_sources" "$tmp_list"
  qarvel_sudo apt-get update -qq
}

# The zstd sources land once in the cache, outside the repository.
qarvel_fetch_zstd() {
  local dir="$QARVEL_CACHE/zstd-src"
  if [ -f "$dir/.complete" ]; then
    QARVEL_ZSTD_SOURCE="$(cat "$dir/.complete")"
    [ -f "$QARVEL_ZSTD_SOURCE/lib/zstd.h" ] && return 0
  fi
  qarvel_enable_deb_src
  rm -rf "$dir"; mkdir -p "$dir"
  local versions v ok=0
  # The newest source version is tried first; a suite may list a version
  # whose files its archive does not carry.
  versions="$(apt-cache showsrc libzstd 2>/dev/null | sed -n 's/^Version: //p' | sort -Vr | uniq)"
  [ -n "$versions" ] || { qarvel_log "no zstd source package is known to apt"; return 1; }
  for v in $versions; do
    if (cd "$dir" && apt-get source -qq "libzstd=$v" >/dev/null 2>&1); then ok=1; break; fi
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
  qarvel_install_packages
  qarvel_fetch_zstd
  qarvel_prepare_wine
  export QARVEL_ZSTD_SOURCE
}
