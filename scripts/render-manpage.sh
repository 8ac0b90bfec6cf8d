#!/usr/bin/env bash
# render-manpage.sh        rewrites doc/md5digest.1.txt from doc/md5digest.1.in
# render-manpage.sh PAGE   prints the rendering of PAGE, a built page
#
# doc/md5digest.1.txt is the man page as plain text, for reading where no
# man is at hand (the web, Windows). Run this after every change to the
# page's source, or to the version in CMakeLists.txt, and commit the result:
# the package leg renders the built page the same way and fails when the
# two differ. Needs groff (Debian 12's, 1.22.4: another version may break
# lines elsewhere).
set -euo pipefail
cd "$(dirname "$0")/.."

# Plain text (no SGR, bold, underline or overstrike) at a fixed width, so
# that the file is the same on every machine.
render() { LC_ALL=C TZ=UTC groff -man -Tutf8 -P-cbou -rLL=78n -ww "$1"; }

if [ $# -ge 1 ]; then
  render "$1"
  exit
fi
# The version as the build fills it in: project() in CMakeLists.txt.
version=$(sed -n 's/^project(md5digest VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "render-manpage: no version in CMakeLists.txt's project()" >&2; exit 1; }
page=$(mktemp)
trap 'rm -f "$page" "$page.txt"' EXIT
sed "s/@PROJECT_VERSION@/$version/g" doc/md5digest.1.in >"$page"
render "$page" >"$page.txt"
mv "$page.txt" doc/md5digest.1.txt
chmod 644 doc/md5digest.1.txt
echo "render-manpage: doc/md5digest.1.txt rendered for version $version"
