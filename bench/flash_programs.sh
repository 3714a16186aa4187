# Sourced by the bench scripts that time bramis-flash against emulators, from
# the top of the tree: builds both programs, optimised, in build/bench and
# sets `flash` and `devsim` to them; makes a scratch folder `work`, removed on
# exit together with every emulator whose PID is in `devsim_pids`.
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DBRAMIS_GUI=OFF -DBRAMIS_TESTS=OFF >/dev/null
cmake --build build/bench --target bramis-flash bramis-devsim >/dev/null
flash=build/bench/src/cli/bramis-flash
devsim=build/bench/src/devsim/bramis-devsim

work=$(mktemp -d)
devsim_pids=()
cleanup() {
  for pid in "${devsim_pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
