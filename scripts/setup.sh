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

# The libFuzzer targets of fuzz/, each with its seed corpus in fuzz/corpus/.
FUZZ_TARGETS=(fuzz_settings fuzz_address_text fuzz_cookies fuzz_regexp fuzz_codepage)

# Configures and builds the clang configuration build/fuzz: the whole project
# with libFuzzer coverage, ASan and UBSan, so that it keeps compiling with clang.
build_fuzzers() {
  configure build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DTRALVEX_FUZZ=ON
  build build/fuzz
}

# run_fuzzers <seconds>: runs each target for that long from its seed corpus
# (which also holds every input that once found a fault). New inputs go to
# build/fuzz/corpus/<target>/, a crashing one to build/fuzz/artifacts/.
# Returns non-zero when any target found a fault; its log is printed then.
run_fuzzers() {
  local seconds="$1" failed=0
  local out="$ROOT/build/fuzz"
  mkdir -p "$out/artifacts" "$out/logs"
  for target in "${FUZZ_TARGETS[@]}"; do
    mkdir -p "$out/corpus/$target"
    if "$out/fuzz/$target" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=4096 \
        -artifact_prefix="$out/artifacts/$target-" -print_final_stats=1 \
        "$out/corpus/$target" "$ROOT/fuzz/corpus/$target" >"$out/logs/$target.log" 2>&1; then
      echo "$target: $(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$out/logs/$target.log" \
        | grep -o '[0-9]*$') inputs in ${seconds} s, no fault"
    else
      echo "$target: FAULT FOUND (log: $out/logs/$target.log)"
      tail -n 60 "$out/logs/$target.log"
      failed=1
    fi
  done
  return $failed
}
