# Sourced by the bench scripts: a scratch folder `work`, removed on exit
# together with every process whose PID is in `pids` (emulators, Xvfb).
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
