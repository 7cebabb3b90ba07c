#!/usr/bin/env bash
# Builds the Debian package into a folder of its own and has lintian judge it: no error and no
# warning may remain. Also checks what lintian cannot know: the dependencies the windows need at
# run time and a manual page for every program.
#   packaging/check-package.sh <build dir> <scratch dir>
set -euo pipefail

build=$1
scratch=$2
rm -rf "$scratch"
mkdir -p "$scratch"

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch" >"$scratch/cpack.log" 2>&1 || {
    cat "$scratch/cpack.log"
    exit 1
}
debs=("$scratch"/*.deb)
if [[ ${#debs[@]} -ne 1 || ! -f ${debs[0]} ]]; then
    echo "expected one package in $scratch, found: ${debs[*]}" >&2
    exit 1
fi
deb=${debs[0]}

status=0
# Root is warned about, and that is all the warning says.
lintian --fail-on error,warning "$deb" 2> >(grep -v 'running with root privileges' >&2) || status=1

depends=$(dpkg-deb -f "$deb" Depends)
for needed in qt6-qpa-plugins qt6-translations-l10n; do
    if ! grep -Eq "(^|, )$needed(,|$| )" <<<"$depends"; then
        echo "the package does not depend on $needed: $depends" >&2
        status=1
    fi
done

listing=$(dpkg-deb -c "$deb" | awk '{print $6}')
for program in $(grep -E '^\./usr/bin/' <<<"$listing" | sed 's|.*/||'); do
    if ! grep -qx "./usr/share/man/man1/$program.1.gz" <<<"$listing"; then
        echo "no gzipped manual page for $program" >&2
        status=1
    fi
done

if [[ $status -eq 0 ]]; then
    echo "$(basename "$deb"): lintian clean, dependencies and manual pages in place"
fi
exit $status
