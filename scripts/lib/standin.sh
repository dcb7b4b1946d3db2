# Shared by the demo and the benchmark: starts the SQL Server stand-in in a
# folder and points unixODBC at it. Source it, then call
#   standin_start ROOT USER PASSWORD SEEDFILE [extra stand-in options...]
# which sets standin_pid and exports ODBCSYSINI, ODBCINI and FREETDSCONF
# for a data source TRALVO; standin_stop ends the server.

standin_pid=""

standin_start() {
  local root=$1 user=$2 password=$3 seed=$4
  shift 4
  mkdir -p "$root/server" "$root/odbc"
  "$repo/$build/standin/sqlserver-standin" --db "$root/server/standin.db" --port 0 \
    --port-file "$root/server/port" --user "$user" --password "$password" --seed "$seed" \
    --statement-log "$root/server/statements.log" "$@" >"$root/server/output.txt" 2>&1 &
  standin_pid=$!
  for _ in $(seq 1 100); do
    [ -s "$root/server/port" ] && break
    kill -0 "$standin_pid" 2>/dev/null || { cat "$root/server/output.txt"; return 1; }
    sleep 0.1
  done
  local port driver
  port=$(cat "$root/server/port")
  driver=$(dpkg -L tdsodbc 2>/dev/null | grep '/libtdsodbc\.so$' | head -n 1)
  printf '[FreeTDS]\nDriver = %s\n' "${driver:-libtdsodbc.so}" >"$root/odbc/odbcinst.ini"
  printf '[TRALVO]\nDriver = FreeTDS\nServer = 127.0.0.1\nPort = %s\nDatabase = TRALVO\nTDS_Version = 7.4\nClientCharset = CP1252\n' \
    "$port" >"$root/odbc/odbc.ini"
  : >"$root/odbc/freetds.conf"
  export ODBCSYSINI="$root/odbc" ODBCINI="$root/odbc/odbc.ini" FREETDSCONF="$root/odbc/freetds.conf"
  echo "stand-in listening on 127.0.0.1:$port"
}

standin_stop() {
  if [ -n "$standin_pid" ]; then
    kill "$standin_pid" 2>/dev/null || true
    wait "$standin_pid" 2>/dev/null || true
    standin_pid=""
  fi
}
