# npm packages of the benches, fetched once into $downloads and taken from there afterwards.
# Sourced by bench/run and bench/linux, which set bench_name (for messages), downloads and offline
# (1: fetch nothing) before calling.

# The file `npm pack NAME@VERSION` writes.
tarballOf() { printf '%s.tgz' "${1/@/-}"; }

# Fetches those of the given packages that are not in $downloads yet, for WHO ("the app tree").
# A package is moved there only once npm has written it whole, so that a broken fetch is not taken
# for a cached one. Returns 1 after saying why when a package is missing and cannot be fetched.
fetchPackages() {
  local who=$1 missing=() package
  shift
  for package in "$@"; do
    [ -f "$downloads/$(tarballOf "$package")" ] || missing+=("$package")
  done
  if [ ${#missing[@]} = 0 ]; then
    return 0
  fi
  if [ "$offline" = 1 ]; then
    echo "$bench_name: $who needs ${missing[*]}, which is not in $downloads, and --offline fetches nothing" >&2
    return 1
  fi
  if ! command -v npm >/dev/null; then
    echo "$bench_name: $who needs npm (Debian package npm) to fetch ${missing[*]} from the npm registry" >&2
    return 1
  fi
  mkdir -p "$downloads"
  local partial
  partial=$(mktemp -d "$downloads/partial.XXXXXX")
  for package in "${missing[@]}"; do
    echo "bench: fetching $package from the npm registry into $downloads" >&2
    if ! (cd "$partial" && npm pack --loglevel=error "$package" >/dev/null 2>npm.log) ||
       [ ! -f "$partial/$(tarballOf "$package")" ]; then
      echo "$bench_name: cannot fetch $package from the npm registry (is the network reachable?); npm said:" >&2
      grep -v '^npm error  *at ' "$partial/npm.log" | head -n 4 >&2 || true
      rm -rf "$partial"
      return 1
    fi
    mv "$partial/$(tarballOf "$package")" "$downloads/"
  done
  rm -rf "$partial"
}
