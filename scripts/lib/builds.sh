# The three test builds, shared by scripts/test and scripts/stress so both
# build exactly the same trees. Source it after setting $top and $jobs.
#
#   build_config <stage>   prints the stage's cmake options, one a line
#   ctest_filter <stage>   prints the stage's ctest selection, one a line
#   build_stage <stage> <dir>  configures and builds the stage in <dir>
#   stage_env <stage>      the sanitizer options the stage's tests run with
#                          (exports them into the calling shell)

build_config() {
  case "$1" in
    normal) printf '%s\n' -DKESTRUNE_WERROR=ON ;;
    asan) printf '%s\n' -DKESTRUNE_WERROR=ON -DKESTRUNE_SANITIZE=address,undefined \
            -DKESTRUNE_BENCH=OFF ;;
    tsan) printf '%s\n' -DKESTRUNE_WERROR=ON -DKESTRUNE_SANITIZE=thread -DKESTRUNE_GUI=OFF \
            -DKESTRUNE_BENCH=OFF ;;
    *) echo "unknown build: $1" >&2; return 1 ;;
  esac
}

# The TSan build has no GUI and runs only the threaded suites.
ctest_filter() {
  case "$1" in
    tsan) printf '%s\n' -L tsan ;;
  esac
}

stage_label() {
  case "$1" in
    asan) echo "asan+ubsan" ;;
    *) echo "$1" ;;
  esac
}

stage_env() {
  case "$1" in
    asan)
      export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
      export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ;;
    tsan)
      export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 ;;
  esac
}

build_stage() {
  local stage=$1 dir=$2 opts
  mapfile -t opts < <(build_config "$stage")
  echo "=== $(stage_label "$stage"): configure"
  cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${opts[@]}" >/dev/null
  echo "=== $(stage_label "$stage"): build"
  cmake --build "$dir" -j "$jobs"
}
