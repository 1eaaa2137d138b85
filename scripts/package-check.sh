#!/usr/bin/env bash
# Builds the Debian package (build/package/quorvel_VERSION_ARCH.deb) and
# checks what an installation gives a user:
#   - the icons' PNG files are the renders of their SVG drawings, and the
#     version agrees between the programs, the AppStream releases and the
#     Debian changelog;
#   - installed into a fresh DESTDIR: desktop-file-validate and
#     appstreamcli validate --no-net pass, the desktop entry's program and
#     icon are there, every subcommand of quorvel-cli has its manual page
#     and no page makes man warn;
#   - the installed quorvel-cli and quorvel answer --version, quorvel-cli
#     pattern writes the same bytes as the build's, and the installed window
#     starts under Xvfb and is found by its title;
#   - the .deb holds the same files, depends on Qt and the X11 plugin, runs,
#     and lintian reports no error on it.
# Ends with "package-check: N passed, M failed"; exit status 1 when any failed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/setup.sh

build=build/package
work=$(mktemp -d)
[ -n "${QUORVEL_KEEP_WORK:-}" ] && echo "work: $work" || trap 'rm -rf "$work"' EXIT

passed=0
failed=0
ok() {
  echo "ok: $*"
  passed=$((passed + 1))
}
fail() {
  echo "FAILED: $*" >&2
  failed=$((failed + 1))
}
# check "what" command...: runs the command, output shown on failure.
check() {
  local what="$1"
  shift
  if "$@" >"$work/out" 2>&1; then ok "$what"; else
    fail "$what"
    sed 's/^/  | /' "$work/out" >&2
  fi
}

# --- the package build, with the flags Debian's own builds use -------------
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CPPFLAGS=$(dpkg-buildflags --get CPPFLAGS)
CFLAGS="$(dpkg-buildflags --get CFLAGS) $CPPFLAGS"
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $CPPFLAGS"
LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
export CFLAGS CXXFLAGS LDFLAGS
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DQUORVEL_BUILD_TESTS=OFF -DQUORVEL_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"

version=$(sed -n 's/^#define QUORVEL_VERSION "\(.*\)"$/\1/p' "$build/generated/Version.h")
id=$(sed -n 's/^#define QUORVEL_APP_ID "\(.*\)"$/\1/p' "$build/generated/Version.h")
echo "package-check: Quorvel $version ($id)"

# --- sources ------------------------------------------------------------------
icons_match() {
  data/icons/render.sh "$work/png" >/dev/null
  local f bad=0
  for f in data/icons/png/*.png; do
    # Pixels that differ by more than 1 %; a different librsvg may shift a few.
    n=$(compare -metric AE -fuzz 1% "$f" "$work/png/$(basename "$f")" null: 2>&1 || true)
    if [ "$n" != "0" ]; then
      echo "$f: $n pixels differ from its SVG (run data/icons/render.sh)"
      bad=1
    fi
  done
  return $bad
}
check "the PNG icons are the renders of their SVG drawings" icons_match

versions_agree() {
  local release changelog
  release=$(grep -o '<release version="[^"]*"' data/quorvel.metainfo.xml.in | head -n1 | cut -d'"' -f2)
  changelog=$(sed -n '1s/^quorvel (\([^)]*\)).*/\1/p' data/changelog)
  echo "project $version, newest AppStream release $release, changelog $changelog"
  [ "$release" = "$version" ] && [ "$changelog" = "$version" ]
}
check "the version agrees in project(), the AppStream releases and the changelog" versions_agree

# --- an installation into a fresh DESTDIR -------------------------------------
dest="$work/dest"
DESTDIR="$dest" cmake --install "$build" --strip >/dev/null
share="$dest/usr/share"
desktop="$share/applications/$id.desktop"
metainfo="$share/metainfo/$id.metainfo.xml"

echo "--- desktop-file-validate $id.desktop"
if desktop-file-validate "$desktop" 2>&1 | tee "$work/desktop.log"; then
  # It exits 0 on hints too; only errors and warnings count.
  if grep -Eq ': (error|warning):' "$work/desktop.log"; then fail "desktop-file-validate"; else ok "desktop-file-validate"; fi
else
  fail "desktop-file-validate"
fi
echo "--- appstreamcli validate --no-net $id.metainfo.xml"
if appstreamcli validate --no-net --pedantic "$metainfo"; then ok "appstreamcli validate --no-net"; else
  fail "appstreamcli validate --no-net"
fi

entry_complete() {
  local exec icon
  exec=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
  icon=$(sed -n 's/^Icon=//p' "$desktop")
  [ -x "$dest/usr/bin/$exec" ] || { echo "Exec=$exec is not installed"; return 1; }
  [ -f "$share/icons/hicolor/scalable/apps/$icon.svg" ] || { echo "no scalable icon $icon"; return 1; }
  for s in 16 24 32 48 64 128 256; do
    file "$share/icons/hicolor/${s}x${s}/apps/$icon.png" | grep -q "PNG image data, $s x $s," ||
      { echo "no ${s}x${s} PNG icon $icon"; return 1; }
  done
  grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
    { echo "the metainfo does not launch $id.desktop"; return 1; }
}
check "the desktop entry's program and icon (SVG and every PNG size) are installed" entry_complete

man_pages() {
  local subs s page bad=0
  subs=$("$dest/usr/bin/quorvel-cli" --help | sed -n '/^Subcommands:/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p')
  [ -n "$subs" ] || { echo "quorvel-cli --help lists no subcommands"; return 1; }
  for page in quorvel quorvel-cli $(for s in $subs; do echo "quorvel-cli-$s"; done); do
    f="$share/man/man1/$page.1.gz"
    [ -f "$f" ] || { echo "no manual page $page(1)"; bad=1; continue; }
    w=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$f" 2>&1 >/dev/null)
    [ -z "$w" ] || { echo "$page(1): $w"; bad=1; }
  done
  return $bad
}
check "every subcommand of quorvel-cli has a manual page, and man reads each without a warning" man_pages

# The installed programs, run as a user would.
prog_checks() { # $1: a root with usr/bin, $2: where it came from
  local bin="$1/usr/bin" from="$2"
  check "$from: quorvel-cli --version" bash -c '[ "$("$1" --version)" = "quorvel-cli $2" ]' _ "$bin/quorvel-cli" "$version"
  check "$from: quorvel --version without a display" \
    bash -c '[ "$(env -u DISPLAY -u WAYLAND_DISPLAY "$1" --version)" = "quorvel $2" ]' _ "$bin/quorvel" "$version"
  mkdir -p "$work/run-$from"
  if (cd "$work/run-$from" && "$bin/quorvel-cli" pattern --object-size 300 --view-distance 1234 \
    --horizontal-step 7 --exclude-base-plane >/dev/null); then
    check "$from: quorvel-cli pattern writes the same bytes as the build's" \
      cmp "$work/run-$from/acquisition.txt" "$work/reference.txt"
  else
    fail "$from: quorvel-cli pattern"
  fi
  check "$from: the window starts under Xvfb and shows its title" window_starts "$bin/quorvel"
}

window_starts() {
  xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    cd "$(mktemp -d)"
    QT_QPA_PLATFORM=xcb "$1" >window.log 2>&1 &
    pid=$!
    found=$(timeout 60 xdotool search --sync --onlyvisible --name "^Quorvel - NUK 2006\$" | head -n1) || true
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    [ -n "$found" ] || { echo "no window titled \"Quorvel - NUK 2006\""; cat window.log; exit 1; }
    echo "window $found"' _ "$1"
}

# The build's own quorvel-cli: the tested one when there is one.
reference_cli="build/default/src/cli/quorvel-cli"
[ -x "$reference_cli" ] || reference_cli="$build/src/cli/quorvel-cli"
mkdir -p "$work/reference"
(cd "$work/reference" && "$root/$reference_cli" pattern --object-size 300 --view-distance 1234 \
  --horizontal-step 7 --exclude-base-plane >/dev/null)
mv "$work/reference/acquisition.txt" "$work/reference.txt"
prog_checks "$dest" "DESTDIR"

# --- the Debian package -------------------------------------------------------
rm -f "$build"/quorvel_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/quorvel_"$version"_*.deb)
echo "--- $deb"
dpkg-deb --field "$deb" Package Version Architecture Depends Recommends
dpkg-deb -x "$deb" "$work/deb"
check "the .deb holds the files cmake --install installs" \
  diff <(cd "$dest" && find . -type f | sort) <(cd "$work/deb" && find . -type f | sort)
check "the .deb depends on Qt's widgets, OpenGL and the X11 platform plugin" \
  bash -c 'd=$(dpkg-deb --field "$1" Depends); for p in libqt6widgets6 libqt6openglwidgets6 qt6-qpa-plugins libglu1-mesa; do
    case "$d" in *"$p"*) ;; *) echo "no $p in: $d"; exit 1 ;; esac; done' _ "$deb"
prog_checks "$work/deb" "deb"

echo "--- lintian $(basename "$deb")"
# Root is how CI runs; lintian only says it would rather not.
if lintian --fail-on error --display-info --pedantic "$deb" 2> >(grep -v 'running with root privileges' >&2); then
  ok "lintian: no errors"
else
  fail "lintian: errors"
fi

echo "package-check: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
