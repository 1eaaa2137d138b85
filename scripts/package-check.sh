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
#   - quorvel(1) names every toolbar button, menu entry and shortcut the
#     installed window lists (quorvel --commands);
#   - the installed quorvel-cli and quorvel answer --version, quorvel-cli
#     pattern writes the same bytes as the build's, the installed window
#     starts under Xvfb and is found by its title, and without a display
#     (none set, or one that does not answer) it says so and exits with 1;
#   - the .deb holds the same files, depends on Qt and the X11 plugin, runs,
#     and lintian reports no error on it;
#   - as on a new user's system: with only the fonts that the package's
#     dependencies bring, no label of the window runs into its field, and
#     where no OpenGL context can be made the window says so and exits with 1.
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
  local releases changes
  # Every release, newest first, as "VERSION DATE" in both.
  releases=$(grep -o '<release version="[^"]*" date="[^"]*"' data/quorvel.metainfo.xml.in |
    sed 's/.*version="\([^"]*\)" date="\([^"]*\)"/\1 \2/')
  changes=$(dpkg-parsechangelog -l data/changelog --all --format rfc822 |
    while IFS= read -r line; do
      case "$line" in
      Version:*) v=${line#Version: } ;;
      Date:*) echo "$v $(date -u -d "${line#Date: }" +%F)" ;;
      esac
    done)
  echo "project $version"
  echo "AppStream releases:" $releases
  echo "changelog entries: " $changes
  [ -n "$releases" ] && [ "$releases" = "$changes" ] && [ "${releases%% *}" = "$version" ]
}
check "project(), the AppStream releases and the changelog's entries agree (versions and dates)" versions_agree

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

window_page_complete() {
  local page line name keys bad=0
  "$dest/usr/bin/quorvel" --commands 2>/dev/null >"$work/commands" || { echo "quorvel --commands failed"; return 1; }
  grep -q '^toolbar' "$work/commands" || { echo "quorvel --commands lists no toolbar button"; return 1; }
  page=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$share/man/man1/quorvel.1.gz" 2>/dev/null | col -b)
  while IFS= read -r line; do
    # cut, not read: read would run the empty fields' tabs together.
    name=$(cut -f2 <<<"$line")
    keys=$(cut -f3 <<<"$line")
    grep -qF -- "$name" <<<"$page" || { echo "quorvel(1) does not name \"$name\""; bad=1; }
    [ -z "$keys" ] || grep -qF -- "$keys" <<<"$page" || { echo "quorvel(1) does not give $keys for \"$name\""; bad=1; }
  done <"$work/commands"
  return $bad
}
check "quorvel(1) names every toolbar button, menu entry and shortcut of the window, with its keys" window_page_complete

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
  check "$from: without DISPLAY the window says so and exits with 1" \
    no_display_ends "$bin/quorvel" "" "DISPLAY is not set"
  check "$from: with a DISPLAY that does not answer the window says so and exits with 1" \
    no_display_ends "$bin/quorvel" "$silent_display" "the X display \"$silent_display\" does not answer"
}

# A display number no X server has taken (no lock file, no socket).
silent_display=
for n in $(seq 271 399); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
    silent_display=":$n"
    break
  fi
done

# Qt alone would abort here (status 134) and advise reinstalling.
no_display_ends() { # $1: quorvel, $2: DISPLAY (empty: unset), $3: the reason it must give
  local rc=0 display=(-u DISPLAY)
  [ -z "$2" ] || display=(DISPLAY="$2")
  (cd "$work" && env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_SESSION_TYPE "${display[@]}" "$1") \
    >"$work/nodisplay.log" 2>&1 || rc=$?
  cat "$work/nodisplay.log"
  [ "$rc" -eq 1 ] || { echo "exit status $rc, not 1"; return 1; }
  grep -qF "quorvel: no display to open the window on: $3" "$work/nodisplay.log" ||
    { echo "no message saying: $3"; return 1; }
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

# --- as on a new user's system ------------------------------------------------
# What `apt-get install --no-install-recommends ./the.deb` brings into a system
# with nothing installed, by apt's own choice among alternatives: what the
# package's dependencies alone guarantee.
deb_closure() {
  : >"$work/empty-status"
  apt-get -s -o Dir::State::status="$work/empty-status" -o Debug::NoLocking=true \
    install --no-install-recommends "$root/$deb" >"$work/apt-sim" 2>&1 ||
    { cat "$work/apt-sim"; echo "(apt needs its package lists: apt-get update)"; return 1; }
  sed -n 's/^Inst \([^ ]*\) .*/\1/p' "$work/apt-sim"
}

# A fontconfig set-up that sees only those packages' fonts and configuration:
# nothing the build machine has besides, no user's or local fonts.
clean_fonts() { # $1: the folder to make it in
  local dir=$1 p f missing=()
  mkdir -p "$dir/fonts" "$dir/cache" "$dir/home"
  deb_closure >"$dir/packages" || { cat "$dir/packages"; return 1; }
  : >"$dir/owned"
  while read -r p; do
    if dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q "install ok installed"; then
      dpkg-query -L "$p" >>"$dir/owned"
    else
      # Its files cannot be seen here; a font package among them would be missed.
      case "$p" in fonts-* | ttf-* | otf-* | xfonts-*) missing+=("$p") ;; esac
    fi
  done <"$dir/packages"
  [ ${#missing[@]} -eq 0 ] ||
    { echo "not installed here, so their fonts cannot be used: ${missing[*]} (add them to scripts/setup.sh)"; return 1; }
  grep -E '\.(ttf|otf|ttc|pfb|pfa|pcf|pcf\.gz|otb)$' "$dir/owned" | while read -r f; do
    [ -f "$f" ] && ln -sf "$f" "$dir/fonts/$(echo "${f#/}" | tr / _)"
  done
  {
    echo '<?xml version="1.0"?>'
    echo '<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">'
    echo '<fontconfig>'
    echo "  <dir>$dir/fonts</dir>"
    echo "  <cachedir>$dir/cache</cachedir>"
    for f in /etc/fonts/conf.d/*.conf; do
      case "$(basename "$f")" in 50-user.conf | 51-local.conf) continue ;; esac
      if grep -qxF -e "$f" -e "$(readlink -f "$f")" "$dir/owned"; then echo "  <include>$f</include>"; fi
    done
    echo '</fontconfig>'
  } >"$dir/fonts.conf"
  echo "fonts the dependencies bring:" $(FONTCONFIG_FILE="$dir/fonts.conf" fc-list : family | sort -u | tr '\n' ';')
}

# The window prints its panel's boxes and what overlaps (QUORVEL_LAYOUT_REPORT)
# and exits: 0 when every text keeps clear of its neighbours.
layout_fits() { # $1: quorvel
  local fc="$work/clean-fonts" rc=0
  clean_fonts "$fc" || return 1
  (cd "$work" && xvfb-run -a -s "-screen 0 1280x1024x24" env -u XDG_CONFIG_HOME -u XDG_DATA_HOME \
    HOME="$fc/home" FONTCONFIG_FILE="$fc/fonts.conf" QUORVEL_LAYOUT_REPORT=1 QT_QPA_PLATFORM=xcb "$1") \
    >"$work/layout.log" 2>&1 || rc=$?
  cat "$work/layout.log"
  [ "$(grep -c '^  Panel[34]/' "$work/layout.log")" -ge 20 ] || { echo "the report lists too few controls"; return 1; }
  [ "$rc" -eq 0 ] && grep -qx 'layout: 0 problems' "$work/layout.log"
}
check "deb: with only the fonts its dependencies bring, no label of the window runs into its field" \
  layout_fits "$work/deb/usr/bin/quorvel"

# Mesa finding no driver stands for a display without OpenGL. Qt would crash
# composing the window; Quorvel says so on stderr and in a box, which is
# answered here, and exits with 1.
no_gl_ends() { # $1: quorvel
  mkdir -p "$work/no-gl-drivers"
  xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    cd "$(mktemp -d)"
    LIBGL_DRIVERS_PATH="$2" QT_QPA_PLATFORM=xcb "$1" 2>err.log &
    pid=$!
    box=
    for _ in $(seq 300); do
      kill -0 "$pid" 2>/dev/null || break
      box=$(xdotool search --onlyvisible --name "^Quorvel\$" 2>/dev/null | head -n1) || true
      [ -z "$box" ] || break
      sleep 0.2
    done
    if [ -n "$box" ]; then xdotool windowfocus --sync "$box" key Return; else kill "$pid" 2>/dev/null || true; fi
    rc=0
    wait "$pid" || rc=$?
    cat err.log
    [ -n "$box" ] || { echo "no message box titled \"Quorvel\""; exit 1; }
    [ "$rc" -eq 1 ] || { echo "exit status $rc, not 1"; exit 1; }
    grep -q "^quorvel: No OpenGL on this display" err.log' _ "$1" "$work/no-gl-drivers"
}
check "deb: where no OpenGL context can be made, the window says so and exits with 1" \
  no_gl_ends "$work/deb/usr/bin/quorvel"

echo "--- lintian $(basename "$deb")"
# Root is how CI runs; lintian only says it would rather not.
if lintian --fail-on error --display-info --pedantic "$deb" 2> >(grep -v 'running with root privileges' >&2); then
  ok "lintian: no errors"
else
  fail "lintian: errors"
fi

echo "package-check: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
