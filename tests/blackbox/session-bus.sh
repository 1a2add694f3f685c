# A session bus of the test's own, sourced by the portal tests. It starts only the
# services whose files are in SERVICE_DIR: the machine's installed ones (a real
# desktop portal on any GNOME or KDE machine) would otherwise be started beside the
# test's own and answer in their place.
#
#   start_session_bus WORK_DIR SERVICE_DIR
# Sets $bus (the daemon's pid) and exports DBUS_SESSION_BUS_ADDRESS. Services get
# the environment of the caller at this point.

xml_text() {
    local text=${1//&/&amp;}
    text=${text//</&lt;}
    printf '%s' "${text//>/&gt;}"
}

start_session_bus() {
    local dir=$1 services=$2
    mkdir -p "$services"
    cat >"$dir/bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=$(xml_text "$dir/bus")</listen>
  <auth>EXTERNAL</auth>
  <servicedir>$(xml_text "$services")</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
    export DBUS_SESSION_BUS_ADDRESS=unix:path=$dir/bus
    dbus-daemon --config-file="$dir/bus.conf" --nofork --nopidfile >"$dir/bus.log" 2>&1 &
    bus=$!
    for _ in $(seq 100); do [ -S "$dir/bus" ] && return 0; sleep 0.05; done
    return 1
}
