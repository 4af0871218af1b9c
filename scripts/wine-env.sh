# Shared by the Wine harness scripts: a project-local prefix, a persistent
# wineserver, a keep-alive Wine process, Xvfb and the virtual drawer, each
# started detached (stdio on /dev/null, own session) and recorded by PID in
# the state directory so that `wine_env_stop` ends exactly what was started.
#
# Expects VTX_STATE (state directory) and the variables of $VTX_STATE/config:
#   VTX_PREFIX, VTX_LOADER, VTX_WINESERVER, VTX_KEEPALIVE, VTX_VDRAWER, VTX_COM

wine_env_load() {
    VTX_STATE=$1
    # shellcheck disable=SC1091
    . "$VTX_STATE/config"
    export WINEPREFIX=$VTX_PREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
}

_pid_alive() { [ -f "$1" ] && kill -0 "$(cat "$1")" 2>/dev/null; }

_detach() { # _detach PIDFILE CMD... : start CMD in its own session, stdio on /dev/null
    local pidfile=$1; shift
    setsid "$@" </dev/null >/dev/null 2>&1 &
    echo $! >"$pidfile"
}

wine_env_can_run() {
    # Kernels without 32-bit ELF support cannot start the 32-bit loader at all.
    "$VTX_LOADER" --version >/dev/null 2>&1
}

_server_socket_exists() {
    # Upstream keeps it in /tmp/.wine-UID; Debian's build in /tmp/wine-XXXXXX.
    local id
    id=$(printf 'server-%x-%x' "$((16#$(stat -c %D "$VTX_PREFIX")))" "$(stat -c %i "$VTX_PREFIX")")
    compgen -G "/tmp/.wine-$(id -u)/$id/socket" >/dev/null || compgen -G "/tmp/wine-*/$id/socket" >/dev/null
}

_ensure_wineserver() {
    _pid_alive "$VTX_STATE/wineserver.pid" && return 0
    mkdir -p "$VTX_PREFIX"
    _detach "$VTX_STATE/wineserver.pid" "$VTX_WINESERVER" -f -p
    # Clients that find no socket would start a server of their own.
    for _ in $(seq 1 200); do _server_socket_exists && return 0; sleep 0.025; done
    echo "wine-env: wineserver did not start" >&2
    return 1
}

_ensure_prefix() {
    [ -f "$VTX_STATE/prefix.ready" ] && return 0
    # wineboot returns once the prefix is initialised; the registry stays in the
    # persistent server's memory until it saves it.
    if ! "$VTX_LOADER" wineboot -i </dev/null >/dev/null 2>&1; then
        echo "wine-env: wineboot failed for $VTX_PREFIX" >&2
        return 1
    fi
    touch "$VTX_STATE/prefix.ready"
}

_ensure_xvfb() {
    _pid_alive "$VTX_STATE/xvfb.pid" && [ -s "$VTX_STATE/display" ] && return 0
    rm -f "$VTX_STATE/display"
    setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp \
        3>"$VTX_STATE/display" </dev/null >/dev/null 2>&1 &
    echo $! >"$VTX_STATE/xvfb.pid"
    for _ in $(seq 1 200); do [ -s "$VTX_STATE/display" ] && break; sleep 0.05; done
    [ -s "$VTX_STATE/display" ] || { echo "wine-env: Xvfb did not start" >&2; return 1; }
}

_ensure_keepalive() {
    _pid_alive "$VTX_STATE/keepalive.pid" && [ -f "$VTX_STATE/keepalive.ready" ] && return 0
    [ -f "$VTX_KEEPALIVE" ] || return 0
    rm -f "$VTX_STATE/keepalive.ready"
    _detach "$VTX_STATE/keepalive.pid" "$VTX_LOADER" "$VTX_KEEPALIVE" "Z:${VTX_STATE//\//\\}\\keepalive.ready"
    # Until it is warm, a test program could be the one that starts Wine's
    # desktop and services, which would then hold that test's output pipes.
    for _ in $(seq 1 1200); do
        [ -f "$VTX_STATE/keepalive.ready" ] && return 0
        _pid_alive "$VTX_STATE/keepalive.pid" || break
        sleep 0.05
    done
    echo "wine-env: the keep-alive program did not come up" >&2
    return 1
}

wine_env_ensure() {
    mkdir -p "$VTX_STATE"
    exec 9>"$VTX_STATE/lock"
    flock 9
    # Wine's desktop process takes DISPLAY from the first program of the
    # session: without it no window can ever be created in that session.
    _ensure_xvfb
    export DISPLAY=":$(tr -d '[:space:]' <"$VTX_STATE/display")"
    _ensure_wineserver
    _ensure_prefix
    _ensure_keepalive
    flock -u 9
    exec 9>&-
    if [ -s "$VTX_STATE/vdrawer.port" ]; then
        export VDRAWER_CONTROL_PORT=$(cat "$VTX_STATE/vdrawer.port") VDRAWER_COM=$VTX_COM
    fi
}

wine_env_start_vdrawer() {
    _pid_alive "$VTX_STATE/vdrawer.pid" && return 0
    rm -f "$VTX_STATE/vdrawer.port"
    "$VTX_VDRAWER" --daemon --prefix "$VTX_PREFIX" --com "$VTX_COM" --control-port 0 \
        --port-file "$VTX_STATE/vdrawer.port" --pid-file "$VTX_STATE/vdrawer.pid"
}

# N more drawers on the COM numbers after VTX_COM, for a program that drives
# several at once; sets VTX_FLEET to their "com:controlport,..." list.
wine_env_start_fleet() {
    local n=$1 i com list=()
    for i in $(seq 1 "$n"); do
        com=$((VTX_COM + i))
        if ! _pid_alive "$VTX_STATE/vdrawer-fleet-$i.pid"; then
            rm -f "$VTX_STATE/vdrawer-fleet-$i.port"
            "$VTX_VDRAWER" --daemon --prefix "$VTX_PREFIX" --com "$com" --control-port 0 \
                --port-file "$VTX_STATE/vdrawer-fleet-$i.port" --pid-file "$VTX_STATE/vdrawer-fleet-$i.pid"
        fi
        list+=("$com:$(cat "$VTX_STATE/vdrawer-fleet-$i.port")")
    done
    VTX_FLEET=$(IFS=,; echo "${list[*]}")
}

_stop_pid() { # _stop_pid PIDFILE : TERM, then KILL after a bounded wait
    local f=$1 pid
    [ -f "$f" ] || return 0
    pid=$(cat "$f")
    if kill -0 "$pid" 2>/dev/null; then
        kill -TERM "$pid" 2>/dev/null
        for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
        kill -KILL "$pid" 2>/dev/null || true
    fi
    rm -f "$f"
}

wine_env_stop_fleet() {
    local f
    for f in "$VTX_STATE"/vdrawer-fleet-*.pid; do
        [ -e "$f" ] || continue
        _stop_pid "$f"
        rm -f "${f%.pid}.port"
    done
}

wine_env_stop() {
    _stop_pid "$VTX_STATE/vdrawer.pid"
    rm -f "$VTX_STATE/vdrawer.port"
    _stop_pid "$VTX_STATE/keepalive.pid"
    rm -f "$VTX_STATE/keepalive.ready"
    if _pid_alive "$VTX_STATE/wineserver.pid"; then
        "$VTX_WINESERVER" -k 2>/dev/null || true
    fi
    _stop_pid "$VTX_STATE/wineserver.pid"
    _stop_pid "$VTX_STATE/xvfb.pid"
    rm -f "$VTX_STATE/display"
}
