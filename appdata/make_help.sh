#!/usr/bin/env bash
# Regenerates help.docx, the guide the program delivers into the data folder, from its source help.fodt.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
soffice=${SOFFICE:-soffice}
command -v "$soffice" >/dev/null || { echo "soffice not found (apt-get install libreoffice-writer)" >&2; exit 1; }

# A private profile: no first-start dialogs, and a running LibreOffice of the user is left alone.
profile=$(mktemp -d)
out=$(mktemp -d)
trap 'rm -rf "$profile" "$out"' EXIT

"$soffice" -env:UserInstallation="file://$profile" --headless --norestore --nologo --nolockcheck \
    --convert-to 'docx:MS Word 2007 XML' --outdir "$out" "$here/help.fodt" >/dev/null
mv "$out/help.docx" "$here/help.docx"
ls -l "$here/help.docx"
