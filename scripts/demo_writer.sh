#!/usr/bin/env bash
# Appends realistic log lines to a file, a few per second, until stopped.
set -u
log=${1:?usage: demo_writer.sh LOG}
levels=(INFO INFO INFO INFO DEBUG DEBUG WARN ERROR)
parts=(http.server scheduler db.pool auth cache mailer storage)
users=(alice bob carol dave erin frank)
paths=(/api/orders /api/users /login /health /api/reports/42 /static/app.js)
message() {
  case $((RANDOM % 9)) in
    0) echo "GET ${paths[RANDOM % ${#paths[@]}]} 200 $((RANDOM % 180 + 3)) ms" ;;
    1) echo "POST ${paths[RANDOM % ${#paths[@]}]} 201 $((RANDOM % 400 + 10)) ms" ;;
    2) echo "user ${users[RANDOM % ${#users[@]}]} signed in from 10.0.$((RANDOM % 255)).$((RANDOM % 255))" ;;
    3) echo "job nightly-export step $((RANDOM % 12 + 1))/12 done in $((RANDOM % 900)) ms" ;;
    4) echo "connection pool: $((RANDOM % 20)) active, $((RANDOM % 10)) idle" ;;
    5) echo "cache hit ratio $((RANDOM % 40 + 60)).$((RANDOM % 10)) %" ;;
    6) echo "slow query took $((RANDOM % 4000 + 500)) ms: SELECT * FROM orders WHERE status = 'open'" ;;
    7) echo "retrying upload of report-$((RANDOM % 999)).pdf (attempt $((RANDOM % 3 + 1)))" ;;
    *) echo "queue depth $((RANDOM % 50)), workers $((RANDOM % 8 + 1))" ;;
  esac
}
while :; do
  printf -v now '%(%Y-%m-%d %H:%M:%S)T' -1
  micro=${EPOCHREALTIME#*.}
  printf '%s.%s %-5s [%s] %s\r\n' "$now" "${micro:0:3}" "${levels[RANDOM % ${#levels[@]}]}" \
    "${parts[RANDOM % ${#parts[@]}]}" "$(message)" >> "$log"
  sleep "0.$((RANDOM % 5 + 1))"
done
