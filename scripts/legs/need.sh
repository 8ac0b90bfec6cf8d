# Sourced by the legs: makes sure Debian packages are present. Under CI (as
# root with CI=true) missing ones are installed; elsewhere the leg says what
# is missing and exits 77, which scripts/test.sh counts as "skipped".
need_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" = 0 ] && [ "${CI:-}" = true ]; then
    echo "installing: ${missing[*]}"
    apt-get update -qq &&
      DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null &&
      return 0
    echo "could not install: ${missing[*]}"
    exit 1
  fi
  echo "skipping: ${missing[*]} missing (install: apt-get install -y --no-install-recommends ${missing[*]})"
  exit 77
}
