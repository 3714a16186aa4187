# Sourced by the bench scripts that time bramis-flash against emulators, from
# the top of the tree: builds both programs, optimised, in build/bench and
# sets `flash` and `devsim` to them; with bench/scratch.sh's `work` and `pids`.
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DBRAMIS_GUI=OFF -DBRAMIS_TESTS=OFF >/dev/null
cmake --build build/bench --target bramis-flash bramis-devsim >/dev/null
flash=build/bench/src/cli/bramis-flash
devsim=build/bench/src/devsim/bramis-devsim

source bench/scratch.sh
