# Sourced by scripts that serve files with nginx on 127.0.0.1:80 (inside the
# test sandbox, where the service host resolves to the loopback).
# serve_with_nginx WORK FORMAT [DIRECTIVES]: serves WORK/www, the address
# service's answer from WORK/www/answer.xml, each request logged to
# WORK/logs/access.log in FORMAT; DIRECTIVES join the server's. nginx's
# process id is in WORK/nginx.pid.
serve_with_nginx() {
    local work="$1" format="$2" directives="${3:-}"
    mkdir -p "$work/logs" "$work/tmp"
    cat > "$work/nginx.conf" <<CONF
user root;
worker_processes 1;
pid $work/nginx.pid;
error_log $work/logs/error.log;
events { worker_connections 64; }
http {
    log_format ranges '$format';
    access_log $work/logs/access.log ranges;
    client_body_temp_path $work/tmp/body;
    proxy_temp_path $work/tmp/proxy;
    fastcgi_temp_path $work/tmp/fastcgi;
    uwsgi_temp_path $work/tmp/uwsgi;
    scgi_temp_path $work/tmp/scgi;
    server {
        listen 127.0.0.1:80;
        root $work/www;
        location = /query_url.php {
            default_type text/xml;
            try_files /answer.xml =404;
        }
        $directives
    }
}
CONF
    nginx -p "$work" -c "$work/nginx.conf" -e "$work/logs/error.log"
}
