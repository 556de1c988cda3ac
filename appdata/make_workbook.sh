#!/usr/bin/env bash
# Regenerates MyExcel.xlsx, the e-book workbook the program delivers into the data folder, from its source
# MyExcel.fods: one sheet with a heading row over the columns the link import fills.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
soffice=${SOFFICE:-soffice}
command -v "$soffice" >/dev/null || { echo "soffice not found (apt-get install libreoffice-calc)" >&2; exit 1; }

# A private profile: no first-start dialogs, and a running LibreOffice of the user is left alone.
profile=$(mktemp -d)
out=$(mktemp -d)
trap 'rm -rf "$profile" "$out"' EXIT

"$soffice" -env:UserInstallation="file://$profile" --headless --norestore --nologo --nolockcheck \
    --convert-to 'xlsx:Calc MS Excel 2007 XML' --outdir "$out" "$here/MyExcel.fods" >/dev/null
mv "$out/MyExcel.xlsx" "$here/MyExcel.xlsx"
ls -l "$here/MyExcel.xlsx"
