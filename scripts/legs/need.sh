# Sourced by the legs. need_packages makes sure Debian packages are present:
# under CI (as root with CI=true) missing ones are installed; elsewhere the
# leg says what is missing and exits 77, which scripts/test.sh counts as
# "skipped". limited bounds a run, so that a hang fails its leg rather than
# holding up the whole suite for as long as CI allows.
need_packages() {
  local missing=() p
  for p in "$@"; do
    [[ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" == *" ok installed" ]] || missing+=("$p")
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

# limited SECONDS COMMAND [ARGS...]: the command's exit status, or 124 when
# it ran out of time (SIGTERM to its process group, SIGKILL 10 s later: then
# 137). Its children die with it. Give it no terminal input: it runs in a
# process group of its own, where reading the terminal stops it.
limited() {
  local seconds=$1 status=0
  shift
  timeout --kill-after=10 "$seconds" "$@" || status=$?
  case $status in
    124) echo "TIMED OUT after $seconds s: $*" >&2 ;;
    137) echo "KILLED (out of time, or of memory) after at most $((seconds + 10)) s: $*" >&2 ;;
  esac
  return "$status"
}
