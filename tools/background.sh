# Runs the slow stages of ./test.sh beside the others; sourced by test.sh.
#   background_start NAME COMMAND...  starts COMMAND with its output in build/stages/NAME.log
#   background_wait NAME...           waits for each: shows the end of its log, all of
#                                     it on failure, and then fails
# A stage that exits 77 was skipped; its SKIPPED lines say why.

declare -A background_pids=()
background_logs=build/stages

background_start() {
  local name=$1
  shift
  mkdir -p "$background_logs"
  date +%s >"$background_logs/$name.started"
  # A process group of its own, so that it can be stopped as a whole.
  set -m
  "$@" >"$background_logs/$name.log" 2>&1 &
  background_pids[$name]=$!
  set +m
}

background_wait() {
  local name status took log
  for name in "$@"; do
    status=0
    wait "${background_pids[$name]}" || status=$?
    unset "background_pids[$name]"
    log=$background_logs/$name.log
    took=$(( $(date +%s) - $(cat "$background_logs/$name.started") ))
    case $status in
      0) tail -n 4 "$log"; echo "$name: passed after ${took} s" ;;
      77) grep SKIPPED "$log" || true; echo "$name: skipped after ${took} s" ;;
      *) cat "$log"; echo "$name: FAILED with status $status after ${took} s (log: $log)"; return 1 ;;
    esac
  done
}

background_stop() {
  local pid
  for pid in "${background_pids[@]}"; do kill -- "-$pid" 2>/dev/null || true; done
}
trap background_stop EXIT
