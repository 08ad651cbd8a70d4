#!/usr/bin/env bash
# Removes the files listed in an install manifest (under $DESTDIR when set, as the manifest
# holds the paths without it), then those of their folders that are
# left empty and belong to Yorvel alone (shared folders such as share/applications stay).
set -euo pipefail
manifest=${1:?usage: uninstall.sh install_manifest.txt}
[ -f "$manifest" ] || { echo "uninstall: no $manifest (nothing was installed)" >&2; exit 1; }
while IFS= read -r f || [ -n "$f" ]; do
    [ -n "$f" ] && rm -f -- "${DESTDIR:-}$f"
done <"$manifest"
while IFS= read -r f || [ -n "$f" ]; do
    d=$(dirname -- "${DESTDIR:-}$f")
    case "$d" in
        */share/yorvel/windows | */include/yorvel | */cmake/Yorvel)
            rmdir -- "$d" 2>/dev/null || true
            case "$d" in */share/yorvel/windows) rmdir -- "${d%/windows}" 2>/dev/null || true ;; esac ;;
    esac
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
