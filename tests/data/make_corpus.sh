#!/usr/bin/env bash
# Regenerates the reader's corpus: every source/*.fodt saved by LibreOffice Writer as .docx and as .doc.
# The expected texts in expected/ are written by hand from the sources and are not touched here.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
soffice=${SOFFICE:-soffice}
command -v "$soffice" >/dev/null || { echo "soffice not found (apt-get install libreoffice-writer)" >&2; exit 1; }

# A private profile: no first-start dialogs, and a running LibreOffice of the user is left alone.
profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT

convert() {
    local target=$1
    shift
    "$soffice" -env:UserInstallation="file://$profile" --headless --norestore --nologo --nolockcheck \
        --convert-to "$target" --outdir "$here/corpus" "$@" >/dev/null
}

mkdir -p "$here/corpus"
convert 'docx:MS Word 2007 XML' "$here"/source/*.fodt
convert 'doc:MS Word 97' "$here"/source/*.fodt
ls -l "$here/corpus"
