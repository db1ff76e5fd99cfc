# A caxa launcher put together as caxa's command line writes it, without Node.js: sourced by
# bench/run and bench/linux.

# A JSON string as JSON.stringify writes it, for texts without control characters.
jsonString() {
  local text=${1//\\/\\\\}
  printf '"%s"' "${text//\"/\\\"}"
}

# caxa's default identifier for an output named NAME: the name, "/" and ten random lower-case
# letters and digits. The stub unpacks into <temporary folder>/caxa/applications/<identifier>/0.
caxaIdentifier() {
  printf '%s/' "$1"
  od -An -N10 -tu1 /dev/urandom |
    awk '{ for (i = 1; i <= NF; i++) printf "%s", substr("abcdefghijklmnopqrstuvwxyz0123456789", $i % 36 + 1, 1) }'
}

# writeCaxaLauncher STUB TREE OUT IDENTIFIER COMMAND...: what `caxa --input TREE --output OUT
# --stub STUB --no-include-node --no-dedupe -- COMMAND...` writes: a copy of the stub (which
# already ends with caxa's separator line), a gzip tarball of the tree with paths relative to it,
# then a newline and the JSON footer {"identifier":...,"command":[...]}. caxa's own command line
# also copies the tree into a build folder first; that copy is not made here.
writeCaxaLauncher() {
  local stub=$1 tree=$2 out=$3 identifier=$4 part footer
  shift 4
  footer="{\"identifier\":$(jsonString "$identifier"),\"command\":["
  for part in "$@"; do
    footer+="$(jsonString "$part"),"
  done
  footer="${footer%,}]}"
  cp "$stub" "$out"
  # Files only, as caxa's archiver lists them; the stub makes the folders a file needs.
  (cd "$tree" && find . -type f -printf '%P\n' | LC_ALL=C sort |
    tar --no-recursion --owner=0 --group=0 --numeric-owner -T - -cf - | gzip -6 -n) >> "$out"
  printf '\n%s' "$footer" >> "$out"
}
