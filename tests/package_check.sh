#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the Debian package that `make package` builds: that every file lands where the desktop
# and man look and nothing lands elsewhere, that Depends names the Qt libraries and what Qt loads
# at run time, that the manual pages render cleanly and cover every option of the programs'
# --help, that the AppStream metadata validates and the copyright grants the licence, and that
# lintian reports no error, no warning and no missing hardening.
#
# Usage: tests/package_check.sh PACKAGE.deb   (make package-check builds the package first)
set -u

if [ $# -ne 1 ] || [ ! -f "$1" ]; then
  echo "usage: $0 PACKAGE.deb" >&2
  exit 2
fi
deb=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
contents=$work/contents
dpkg-deb -x "$deb" "$root" || exit 1
# The package's files as "MODE PATH", directories left out.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $1, substr($6, 2) }' >"$contents" || exit 1
passed=0
failed=0

check() {
  name=$1
  shift
  if problem=$("$@" 2>&1); then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL $name" >&2
    [ -n "$problem" ] && echo "$problem" | sed 's/^/  /' >&2
  fi
}

field() { dpkg-deb -f "$deb" "$1"; }

metainfo_id=invalid.tavimor.tavimor

has_file() {
  grep -qxF -e "$1 $2" "$contents" || { echo "no $2 with mode $1" && return 1; }
}

installed_files() {
  for file in /usr/bin/tavimor /usr/bin/tavimor-feed /usr/bin/tavimor-radio \
    /usr/bin/tavimor-traffic-notify /usr/libexec/tavimor/tavimor-radio-port; do
    has_file -rwxr-xr-x "$file" || return 1
  done
  for file in /usr/share/applications/tavimor.desktop \
    /usr/share/applications/tavimor-radio.desktop \
    /usr/share/icons/hicolor/scalable/apps/tavimor.svg \
    /usr/share/metainfo/$metainfo_id.metainfo.xml \
    /usr/share/man/man1/tavimor.1.gz /usr/share/man/man1/tavimor-feed.1.gz \
    /usr/share/man/man1/tavimor-radio.1.gz /usr/share/man/man1/tavimor-traffic-notify.1.gz \
    /usr/share/doc/tavimor/copyright /usr/share/doc/tavimor/changelog.gz; do
    has_file -rw-r--r-- "$file" || return 1
  done
}

# A stray install rule (a test, a static library, a /usr/local path) would show up here.
nothing_elsewhere() {
  ! grep -v -E ' /usr/(bin/tavimor[a-z-]*|libexec/tavimor/tavimor-radio-port|share/(applications|icons/hicolor|metainfo|man/man1|doc/tavimor)/.*)$' \
    "$contents"
}

every_program_has_a_manual_page() {
  for program in "$root"/usr/bin/*; do
    [ -f "$root/usr/share/man/man1/${program##*/}.1.gz" ] ||
      { echo "no manual page for ${program##*/}" && return 1; }
  done
}

# A run path would make the loader look in /usr/bin and /usr/lib before the system's Qt.
no_run_path() {
  for program in "$root"/usr/bin/* "$root"/usr/libexec/tavimor/*; do
    head -c 4 "$program" | grep -q ELF || continue
    ! readelf -d "$program" | grep -E 'RPATH|RUNPATH' || return 1
  done
}

# Each menu entry validates and names a program and the icon of the package.
desktop_entries() {
  for entry in "$root"/usr/share/applications/tavimor.desktop \
    "$root"/usr/share/applications/tavimor-radio.desktop; do
    desktop-file-validate "$entry" || return 1
    exec_line=$(sed -n 's/^Exec=//p' "$entry")
    icon=$(sed -n 's/^Icon=//p' "$entry")
    [ -x "$root/usr/bin/${exec_line%% *}" ] ||
      { echo "${entry##*/}: Exec=$exec_line is not in the package" && return 1; }
    [ -f "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] ||
      { echo "${entry##*/}: Icon=$icon is not in the package" && return 1; }
  done
  grep -qx 'Name=Tavimor Radio' "$root/usr/share/applications/tavimor-radio.desktop" ||
    { echo "the radio's entry is not named Tavimor Radio" && return 1; }
}

control_fields() {
  for name in Package Version Architecture Maintainer Section Priority Description; do
    [ -n "$(field "$name")" ] || { echo "no $name field" && return 1; }
  done
  [ "$(field Package)" = tavimor ] || { echo "Package: $(field Package)" && return 1; }
  [ "$(field Section)" = hamradio ] || { echo "Section: $(field Section)" && return 1; }
  # A synopsis and a long description.
  [ "$(field Description | wc -l)" -gt 3 ] || { echo "no long description" && return 1; }
  version=$(field Version)
  for program in tavimor-feed tavimor-radio; do
    [ "$("$root/usr/bin/$program" --version)" = "$program $version" ] ||
      { echo "$program --version does not say $version" && return 1; }
  done
  zcat "$root/usr/share/doc/tavimor/changelog.gz" | head -n 1 | grep -qF "tavimor ($version)" ||
    { echo "the changelog's newest entry is not for $version" && return 1; }
}

# Software centres list the program from this: it must validate with the desktop entry it starts,
# and name the package's release.
appstream_metadata() {
  appstreamcli validate-tree --no-net "$root" || return 1
  metainfo=$root/usr/share/metainfo/$metainfo_id.metainfo.xml
  grep -qF "<release version=\"$(field Version)\"" "$metainfo" ||
    { echo "no release $(field Version)" && return 1; }
}

# A machine-readable copyright file that grants the GPL, version 3 or later.
copyright_grants_the_licence() {
  copyright=$root/usr/share/doc/tavimor/copyright
  head -n 1 "$copyright" |
    grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    { echo "not a machine-readable copyright file" && return 1; }
  awk '/^Files: \*$/ { files = 1; next } files && /^License:/ { print; exit }' "$copyright" |
    grep -qx 'License: GPL-3+' || { echo "Files: * is not under GPL-3+" && return 1; }
  grep -qF '/usr/share/common-licenses/GPL-3' "$copyright" ||
    { echo "no pointer to /usr/share/common-licenses/GPL-3" && return 1; }
}

# Depends as one package name a line, without versions or alternatives.
depends_names() { field Depends | tr '|' ',' | tr ',' '\n' | sed 's/(.*//; s/[[:space:]]//g; /^$/d'; }

depends_names_libraries() {
  for package in libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 libc6 libstdc++6 \
    libliquid1 libsndfile1 libsoapysdr0.8 libfftw3-single3 bubblewrap; do
    depends_names | grep -qx "$package" || { echo "Depends lacks $package: $(field Depends)" && return 1; }
  done
}

recommends_the_stick_module() {
  field Recommends | tr ',' '\n' | sed 's/[[:space:]]//g' | grep -qx soapysdr-module-rtlsdr ||
    { echo "Recommends lacks soapysdr-module-rtlsdr: $(field Recommends)" && return 1; }
}

# Whatever package ships the plugin or font on this machine must be in Depends, so that a move of
# a plugin to another package is caught here rather than by a window without its icon.
depends_names_run_time_pieces() {
  for piece in qt6/plugins/platforms/libqxcb.so qt6/plugins/imageformats/libqsvg.so \
    qt6/plugins/iconengines/libqsvgicon.so fonts/truetype/dejavu/DejaVuSans.ttf; do
    owner=$(dpkg -S "*/$piece" 2>/dev/null | head -n 1 | cut -d: -f1)
    [ -n "$owner" ] || { echo "no installed package ships $piece" && return 1; }
    depends_names | grep -qx "$owner" ||
      { echo "Depends lacks $owner, which ships $piece: $(field Depends)" && return 1; }
  done
}

manual_pages_render_cleanly() {
  for page in "$root"/usr/share/man/man1/*.1.gz; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || { echo "${page##*/}: $warnings" && return 1; }
  done
}

# Every option the program's --help lists is described in its manual page.
manual_page_covers_help() {
  program=$1
  page=$(zcat "$root/usr/share/man/man1/$program.1.gz" | sed 's/\\-/-/g')
  options=$("$root/usr/bin/$program" --help | grep -oE '(^|[ ,[])--?[a-zA-Z][a-z-]*' |
    sed 's/^[ ,[]//' | sort -u)
  [ -n "$options" ] || { echo "$program --help lists no options" && return 1; }
  for option in $options; do
    printf '%s\n' "$page" | grep -qF -e "$option" || { echo "$program.1 lacks $option" && return 1; }
  done
}

# The report, informational tags too, goes to the log whatever it says; root's "not recommended"
# notice is left out. Missing hardening and unneeded sections are only informational tags.
lintian_finds_no_error() {
  lintian --fail-on error,warning --display-info "$deb" >"$work/lintian" 2>&1
  status=$?
  report=$(grep -v 'running with root privileges' "$work/lintian")
  echo "${report:-  (no tags)}" >&3
  [ "$status" -eq 0 ] || { echo "lintian exited with status $status" && return 1; }
  ! printf '%s\n' "$report" | grep -E ': (hardening-|binary-has-unneeded-section)'
}

echo "Files in ${deb##*/}:"
sed 's/^/  /' "$contents"
check "installed files and their modes" installed_files
check "no file outside the program's places" nothing_elsewhere
check "a manual page for every program" every_program_has_a_manual_page
check "no run path in the programs" no_run_path
check "the desktop entries validate and name the programs and icon" desktop_entries
check "control fields" control_fields
check "Depends names the Qt, serial port, liquid-dsp, libsndfile, SoapySDR and FFTW libraries and bubblewrap" \
  depends_names_libraries
check "Recommends the stick's SoapySDR module" recommends_the_stick_module
check "Depends names the run-time plugins and the font" depends_names_run_time_pieces
check "manual pages render without warnings" manual_pages_render_cleanly
check "the AppStream metadata validates and names the desktop entry and release" appstream_metadata
check "the copyright grants GPL-3+" copyright_grants_the_licence
check "tavimor-feed(1) covers --help" manual_page_covers_help tavimor-feed
check "tavimor-radio(1) covers --help" manual_page_covers_help tavimor-radio
check "tavimor-traffic-notify(1) covers --help" manual_page_covers_help tavimor-traffic-notify
echo "lintian $(lintian --version | cut -d' ' -f2) on ${deb##*/}:"
exec 3>&1
check "lintian reports no error, warning or hardening tag" lintian_finds_no_error

echo "Depends: $(field Depends)"
echo "package_check: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
