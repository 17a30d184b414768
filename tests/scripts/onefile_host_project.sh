#!/usr/bin/env bash
# qarvel_add_onefile_launcher in a project configured with the host compiler
# (no mingw-w64 toolchain): the launcher is made by qarvel-pack, a file added
# to the application folder remakes it, a build with nothing changed does
# nothing, it installs, and it runs under Wine with the fixed arguments and
# variable the function was given, and its quick check.
#   onefile_host_project.sh QARVEL_PACK ECHO_CHILD WORK_DIR
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
root="$QARVEL_ROOT" pack="$1" echo_child="$2"
work="$(fresh_folder "$3")"
mkdir -p "$work/app-source"
cp "$echo_child" "$work/app-source/main.exe"
printf 'first\n' >"$work/app-source/note.txt"
# An empty toolchain file and the host compiler, whatever the environment says.
cmake -S "$root/tests/scripts/host-project" -B "$work/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE= \
  -DQARVEL_ROOT="$root" -DQARVEL_PACK="$pack" -DAPP_SOURCE="$work/app-source" \
  -DCMAKE_INSTALL_PREFIX="$work/installed" >"$work/configure.log" 2>&1 \
  || { cat "$work/configure.log" >&2; fail "configuring failed"; }
grep -q "^CMAKE_CXX_COMPILER:.*/\(c++\|g++\)" "$work/build/CMakeCache.txt" \
  || fail "the project was not configured with the host compiler"
cmake --build "$work/build" >/dev/null || fail "the first build failed"
launcher="$work/build/hello-onefile.exe"
[ -f "$launcher" ] || fail "no $launcher"
"$pack" list "$launcher" | grep -q ' note.txt$' || fail "the launcher does not carry note.txt"

# The copied folder gains a file: the dependency file remakes the launcher.
printf 'second\n' >"$work/app-source/added.txt"
touch "$work/app-source/main.exe"
cmake --build "$work/build" >/dev/null || fail "the second build failed"
"$pack" list "$launcher" | grep -q ' added.txt$' || fail "an added file did not remake the launcher"
[ "$(cmake --build "$work/build")" = "ninja: no work to do." ] || fail "a build with nothing changed did work"

cmake --install "$work/build" >/dev/null || fail "installing failed"
installed="$work/installed/bin/hello-onefile.exe"
cmp -s "$launcher" "$installed" || fail "the installed launcher differs"
mkdir -p "$work/run" && cp "$installed" "$work/run/"
report="$(wine "$work/run/hello-onefile.exe" 2>/dev/null | tr -d '\r')" || fail "the launcher exited with $?"
grep -qxF -- "exe=Z:${work//\//\\}\\run\\cache\\main.exe" <<<"$report" || fail "the child did not run: $report"
cache="Z:${work//\//\\}\\run\\cache"
for line in "arg=$cache\\note.txt" "arg=" "arg=--flag" "env=HOST_PROJECT=made by CMake"; do
  grep -qxF -- "$line" <<<"$report" || fail "the child did not receive '$line': $report"
done
[ -s "$work/run/cache/.qarvel-check" ] || fail "QUICK_CHECK left no check record"
echo "onefile_host_project: made, remade, installed and run"
