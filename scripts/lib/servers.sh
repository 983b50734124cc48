# Shell helpers for runs against real servers on loopback: free ports, nginx, tinyproxy.
# Source it; the caller stops what it started with stop_servers (e.g. from an EXIT trap).

free_port() {
    python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

wait_port() {
    for _ in $(seq 1 100); do
        (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
        sleep 0.1
    done
    echo "nothing listens on port $1" >&2
    return 1
}

# start_nginx DIR PORT [EXTRA_SERVER_DIRECTIVES]: serves DIR/www on 127.0.0.1:PORT.
start_nginx() {
    local dir=$1 port=$2
    mkdir -p "$dir/www" "$dir/tmp"
    # Workers run as nobody unless told otherwise, and nobody may not read a private tree.
    local user=
    [ "$(id -u)" = 0 ] && user="user root;"
    cat >"$dir/nginx.conf" <<CONF
$user
daemon on;
pid $dir/nginx.pid;
error_log $dir/nginx-error.log;
worker_processes 1;
events { worker_connections 256; }
http {
    access_log off;
    sendfile on;
    client_body_temp_path $dir/tmp;
    server {
        listen 127.0.0.1:$port;
        root $dir/www;
        ${3:-}
    }
}
CONF
    nginx -p "$dir" -c "$dir/nginx.conf" || return 1
    nginx_dirs="${nginx_dirs:-} $dir"
    wait_port "$port"
}

# start_tinyproxy DIR NAME PORT [BasicAuth USER PASSWORD]
start_tinyproxy() {
    local dir=$1 name=$2 port=$3
    shift 3
    cat >"$dir/$name.conf" <<CONF
Port $port
Listen 127.0.0.1
Allow 127.0.0.1
DisableViaHeader Yes
Timeout 60
LogLevel Error
MaxClients 100
$*
CONF
    tinyproxy -d -c "$dir/$name.conf" >"$dir/$name.log" 2>&1 &
    proxy_pids="${proxy_pids:-} $!"
    wait_port "$port"
}

stop_servers() {
    local dir pid
    for dir in ${nginx_dirs:-}; do
        nginx -p "$dir" -c "$dir/nginx.conf" -s stop 2>/dev/null
    done
    for pid in ${proxy_pids:-}; do kill "$pid" 2>/dev/null; done
    nginx_dirs= proxy_pids=
}
