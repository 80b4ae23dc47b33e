#!/usr/bin/env bash
# http.serve under load, next to python3 -m http.server and nginx (one worker)
# serving the same page. For each server: wrk, 2 threads, 50 and then 500
# connections, 10 s each, one request per connection (requests per second and
# wrk's error counts); then the slow-client test: 60 idle connections and 20
# that send one byte every 0.4 s stay attached while plain requests are timed
# one after another (the slowest and the median). Also prints the veltro
# server's open descriptors before and after its runs.
# Usage: bench/http/run.sh /path/to/veltro
set -uo pipefail
veltro="$(realpath "${1:?usage: run.sh /path/to/veltro}")"
duration="${BENCH_DURATION:-10s}"

for tool in wrk python3 curl; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 0; }
done
nginx_bin="$(command -v nginx || echo /usr/sbin/nginx)"

work="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

wait_for() {  # port: until it answers
  for _ in $(seq 100); do
    curl -s -o /dev/null "http://127.0.0.1:$1/" && return 0
    sleep 0.1
  done
  echo "server on port $1 did not start"; return 1
}

# The page: about 1 KiB of HTML.
mkdir -p "$work/www"
{
  echo '<!doctype html><html><head><meta charset="utf-8"><title>bench</title></head><body>'
  for i in $(seq 20); do echo "<p>Paragraph $i of the benchmark page, served again and again.</p>"; done
  echo '</body></html>'
} > "$work/www/index.html"
chmod -R a+rX "$work"  # nginx workers may run as another user

here="$(cd "$(dirname "$0")" && pwd)"

wrk_run() {  # name port connections
  local out rps errors non2xx
  out="$(wrk -t2 -c"$3" -d"$duration" -H 'Connection: close' "http://127.0.0.1:$2/" 2>&1)"
  rps="$(awk '/^Requests\/sec:/ {print $2}' <<<"$out")"
  errors="$(grep -o 'Socket errors:.*' <<<"$out" || echo 'Socket errors: none')"
  non2xx="$(awk '/Non-2xx/ {print $NF}' <<<"$out")"
  printf '%-22s -c%-4s %10s req/s   %s; non-2xx responses: %s\n' "$1" "$3" "${rps:-?}" "$errors" "${non2xx:-0}"
}

bench() {  # name port
  wrk_run "$1" "$2" 50
  wrk_run "$1" "$2" 500
  printf '%-22s slow clients: %s\n' "$1" "$(python3 "$here/slow_clients.py" "$2" 2>&1 | tail -1)"
}

fd_count() { ls "/proc/$1/fd" 2>/dev/null | wc -l; }

# veltro
port="$(free_port)"
cat > "$work/serve.vt" <<VT
use http;
http.page("/", http.template("www/index.html"))
http.serve($port)
VT
(cd "$work" && exec "$veltro" serve.vt >/dev/null 2>"$work/veltro.err") &
pids+=($!)
veltro_pid=$!
wait_for "$port" || exit 1
fds_before="$(fd_count "$veltro_pid")"
out_lines="$(bench "veltro http.serve" "$port")"
echo "$out_lines"
if grep -q 'read [1-9]' <<<"$out_lines"; then
  echo "  (the response has no Connection: close header, so wrk reuses each connection once and"
  echo "   counts a read error when it finds it closed; every counted request got its whole page)"
fi
sleep 2.5  # answered connections finish closing
echo "veltro open descriptors: $fds_before before, $(fd_count "$veltro_pid") after"
[ -s "$work/veltro.err" ] && { echo "veltro standard error:"; sort "$work/veltro.err" | uniq -c; }

# python3 -m http.server
port="$(free_port)"
python3 -m http.server --bind 127.0.0.1 --directory "$work/www" "$port" >/dev/null 2>&1 &
pids+=($!)
wait_for "$port" && bench "python3 http.server" "$port"

# nginx, one worker, as this user's own process
if [ -x "$nginx_bin" ]; then
  port="$(free_port)"
  mkdir -p "$work/nginx/tmp"
  cat > "$work/nginx/nginx.conf" <<CONF
worker_processes 1;
daemon off;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 1024; }
http {
  access_log off;
  client_body_temp_path $work/nginx/tmp;
  proxy_temp_path $work/nginx/tmp;
  fastcgi_temp_path $work/nginx/tmp;
  uwsgi_temp_path $work/nginx/tmp;
  scgi_temp_path $work/nginx/tmp;
  server {
    listen 127.0.0.1:$port;
    root $work/www;
    default_type text/html;
  }
}
CONF
  "$nginx_bin" -c "$work/nginx/nginx.conf" -p "$work/nginx" >/dev/null 2>&1 &
  pids+=($!)
  wait_for "$port" && bench "nginx (1 worker)" "$port"
else
  echo "nginx: skipped (not installed)"
fi
