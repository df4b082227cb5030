# shellcheck shell=bash
# Sourced by the scripts beside it (they set top first): what several of them share.

# Stops the script with the message on standard error unless it runs as root.
need_root() {
  if [ "$(id -u)" != 0 ]; then
    echo "$1" >&2
    exit 1
  fi
}

# Installs those of the Debian packages named that are not installed yet, so it costs nothing on
# a prepared machine. Installing needs root: without it, names what is missing and stops.
install_missing() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -eq 0 ]; then
    return 0
  fi
  need_root "lanScout needs these Debian packages, and root to install them: ${missing[*]}"
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
