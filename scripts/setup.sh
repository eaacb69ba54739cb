# Shared set-up of scripts/run and scripts/test: installs the Debian packages the
# build needs when any is missing, and configures build directories.
# Sourced, not run.

set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev libgl-dev fonts-noto-cjk
  libgtest-dev libgmock-dev
  libcurl4-openssl-dev libpcre2-dev duktape-dev
  clang libclang-rt-14-dev
  iproute2 util-linux
)

install_missing_packages() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
}

# configure <build dir> <cmake args...>
configure() {
  local dir="$1"
  shift
  cmake -S "$ROOT" -B "$ROOT/$dir" -G Ninja "$@" >/dev/null
}

build() {
  cmake --build "$ROOT/$1" --parallel "$(nproc)"
}
