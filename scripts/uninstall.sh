#!/usr/bin/env bash
# Removes the files listed in an install manifest (under $DESTDIR when set, as the manifest
# holds the paths without it), then the folders that install made (recorded beside the
# manifest, install_folders*.txt), those of them left empty. Shared folders that were
# there before, such as share/applications, stay.
set -euo pipefail
manifest=${1:?usage: uninstall.sh install_manifest.txt}
[ -f "$manifest" ] || { echo "uninstall: no $manifest (nothing was installed)" >&2; exit 1; }
folders=$(dirname -- "$manifest")/$(basename -- "$manifest" | sed 's/^install_manifest/install_folders/')
while IFS= read -r f || [ -n "$f" ]; do
    [ -n "$f" ] && rm -f -- "${DESTDIR:-}$f"
done <"$manifest"
# A real uninstall (no DESTDIR): the MIME database forgets the types again. A database
# left without any package (only ours was there) is all generated: it goes too.
mime=$(grep -m1 '/share/mime/packages/yorvel.xml$' "$manifest" || true)
mime=${mime%/packages/yorvel.xml}
if [ -z "${DESTDIR:-}" ] && [ -n "$mime" ] && [ -d "$mime" ]; then
    if rmdir -- "$mime/packages" 2>/dev/null; then
        rm -rf -- "$mime"
    elif command -v update-mime-database >/dev/null; then
        update-mime-database "$mime" >/dev/null
    fi
fi
# The deepest first, so that a folder's own folders are gone before it.
if [ -f "$folders" ]; then
    awk 'NF { print length($0) "\t" $0 }' "$folders" | sort -rn | cut -f2- |
        while IFS= read -r d; do rmdir -- "${DESTDIR:-}$d" 2>/dev/null || true; done
fi
