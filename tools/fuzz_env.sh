# Shared settings of tools/fuzz and tools/test for the native sanitizer build
# of the parsers (fuzz/). Sourced, not run; needs ROOT and BUILD_DIR.

# The compiler of the fuzz build: clang with libFuzzer where it is installed,
# else g++ (the targets then only replay files). Empty when there is neither.
fuzz_compiler() {
  if command -v clang++ >/dev/null &&
    [ -f "$(clang++ -print-file-name=libclang_rt.fuzzer-x86_64.a)" ]; then
    echo clang++
  elif command -v g++ >/dev/null; then
    echo g++
  fi
}

FUZZ_BUILD_DIR="$BUILD_DIR/fuzz"
# A seed that allocates beyond this fails: the parsers never need much.
FUZZ_OPTIONS=(-malloc_limit_mb=256 -rss_limit_mb=2048)
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

# build_fuzz_targets COMPILER: configures and builds fuzz/ in FUZZ_BUILD_DIR.
build_fuzz_targets() {
  local compiler="$1"
  mkdir -p "$FUZZ_BUILD_DIR"
  cmake -S "$ROOT/fuzz" -B "$FUZZ_BUILD_DIR" -DCMAKE_CXX_COMPILER="$compiler" \
    >"$FUZZ_BUILD_DIR/configure.log" 2>&1 || { cat "$FUZZ_BUILD_DIR/configure.log"; return 1; }
  local rc=0
  cmake --build "$FUZZ_BUILD_DIR" -j"${LUMETRA_FUZZ_JOBS:-4}" >"$FUZZ_BUILD_DIR/build.log" 2>&1 ||
    rc=$?
  grep -Ev '^\[ *[0-9]+%\]|^Consolidate compiler|^g?make' "$FUZZ_BUILD_DIR/build.log" || true
  return $rc
}

fuzz_targets() { cat "$FUZZ_BUILD_DIR/fuzz_targets.txt"; }

# Runs every seed of every target once; prints one line per target and
# returns 1 when a seed fails (a sanitizer report, a crash, a broken check).
replay_fuzz_corpus() {
  local target failed=0 seeds
  for target in $(fuzz_targets); do
    seeds=("$ROOT/fuzz/corpus/$target"/*)
    if [ ! -e "${seeds[0]}" ]; then
      echo "fuzz replay: $target has no seeds" >&2
      failed=1
      continue
    fi
    if "$FUZZ_BUILD_DIR/$target" "${FUZZ_OPTIONS[@]}" "${seeds[@]}" \
      >"$FUZZ_BUILD_DIR/$target.replay.log" 2>&1; then
      echo "fuzz replay: $target: ${#seeds[@]} seeds passed"
    else
      echo "fuzz replay: $target FAILED (log $FUZZ_BUILD_DIR/$target.replay.log):" >&2
      grep -E 'ERROR|runtime error|Running:|SUMMARY' "$FUZZ_BUILD_DIR/$target.replay.log" |
        tail -5 >&2
      failed=1
    fi
  done
  return $failed
}
