#!/usr/bin/env bash
# Makes the deterministic source tree the listing benchmark walks: 5,000
# nested folders (8 x 24 x 25) holding 20 files each (100,000 files), with
# .frm/.bas/.cls/.txt mixed, plus a MyConfig.xml that lists it.
# Usage: bench/make_tree.sh FOLDER   (FOLDER is created; it must not exist)
set -euo pipefail

out="${1:?usage: make_tree.sh FOLDER}"
if [ -e "$out" ]; then
  echo "make_tree.sh: $out already exists" >&2
  exit 1
fi
mkdir -p "$out/tree"
cd "$out/tree"

# Every folder at every level gets 20 files; level names sort the same way
# in byte order and in numeric order.
awk 'BEGIN {
  exts[0] = "frm"; exts[1] = "bas"; exts[2] = "cls"; exts[3] = "txt";
  n = 0;
  for (a = 1; a <= 8; a++) {
    pa = sprintf("Project%02d", a); folders[n++] = pa;
    for (b = 1; b <= 24; b++) {
      pb = sprintf("%s/Area%02d", pa, b); folders[n++] = pb;
      for (c = 1; c <= 25; c++) folders[n++] = sprintf("%s/Unit%02d", pb, c);
    }
  }
  for (i = 0; i < n; i++) print "D " folders[i];
  k = 0;
  for (i = 0; i < n; i++)
    for (f = 1; f <= 20; f++) { printf "F %s/File%02d.%s\n", folders[i], f, exts[k % 4]; k++ }
}' > ../entries.txt

sed -n 's/^D //p' ../entries.txt | xargs mkdir -p
# Each file holds one short CR LF line, so a size check would not pass it over.
sed -n 's/^F //p' ../entries.txt | awk '{ printf "Attribute VB_Name = \"x\"\r\n" > $0; close($0) }'
rm ../entries.txt

cat > "$out/MyConfig.xml" <<'XML'
<CORVANNE_CONFIG>
  <DESTINATION_ENGINE>SQLITE</DESTINATION_ENGINE>
  <SQL_SERVER_DATABASE_NAME>Bench.db</SQL_SERVER_DATABASE_NAME>
  <UNATTENDED_RUN_USER_NAME>BENCH</UNATTENDED_RUN_USER_NAME>
  <SOURCE_FOLDERS_LIST>tree</SOURCE_FOLDERS_LIST>
  <SOURCE_FOLDERS_LIST_SEP_CHAR>;</SOURCE_FOLDERS_LIST_SEP_CHAR>
  <SOURCE_FILE_EXTENSIONS_COMMA_SEP_LIST>FRM,BAS,CLS</SOURCE_FILE_EXTENSIONS_COMMA_SEP_LIST>
  <UNATTENDED_YES_NO>YES</UNATTENDED_YES_NO>
</CORVANNE_CONFIG>
XML
echo "made $(find "$out/tree" -type d | wc -l) folders (the listed one included) and $(find "$out/tree" -type f | wc -l) files in $out"
