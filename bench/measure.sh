# Sourced by the benchmark scripts that time whole commands in the current folder: `nosync.so`, a shim
# that turns fsync into a no-op while tables are made (never while timing), and `measure`.

cat > nosync.c <<'C'
int fsync(int fd) { (void)fd; return 0; }
int fdatasync(int fd) { (void)fd; return 0; }
C
cc -shared -fPIC -O2 -o nosync.so nosync.c

# measure LABEL COMMAND...: one line with wall seconds, cpu seconds and peak memory (GNU time), also
# appended to figures.tsv as label, seconds, kilobytes, cpu seconds. When COMMAND is $measure_echo, the
# first line it printed follows.
measure() {
  local label=$1
  shift
  local start end
  start=$(date +%s%N)
  if /usr/bin/time -f "%M %U %S" -o time.txt "$@" >out.txt 2>err.txt; then
    end=$(date +%s%N)
    read -r kb user system < <(tail -n 1 time.txt)
    seconds=$(awk -v ns=$((end - start)) 'BEGIN { printf "%.4f", ns / 1e9 }')
    cpu=$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%.2f", u + s }')
    printf '%-44s %9.3f s wall %7.2f s cpu %6d MB\n' "$label" "$seconds" "$cpu" $((kb / 1024))
    printf '%s\t%s\t%s\t%s\n' "$label" "$seconds" "$kb" "$cpu" >>figures.tsv
    if [ -n "${measure_echo:-}" ] && [ "$1" = "$measure_echo" ]; then echo "      ($(head -n 1 out.txt))"; fi
  else
    printf '%-44s failed: %s\n' "$label" "$(head -c 300 err.txt | tr '\n' ' ')"
  fi
}
