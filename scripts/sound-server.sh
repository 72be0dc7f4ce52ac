# Sourced by the test command: starts a private PulseAudio server with a null sink, so that
# playback tests send real sound to a real server without any sound hardware.
start_null_sink() {
  export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-/tmp/xdg-$(id -u)}"
  mkdir -p -m700 "$XDG_RUNTIME_DIR"
  if ! pactl info >/dev/null 2>&1; then
    pulseaudio -D --exit-idle-time=-1 --system=false --disallow-exit \
      --log-target=file:"$XDG_RUNTIME_DIR/pa.log" || true
    for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
  fi
  if ! pactl list short sinks 2>/dev/null | grep -q nullsink; then
    pactl load-module module-null-sink sink_name=nullsink sink_properties=device.description=NullSink >/dev/null
  fi
  pactl set-default-sink nullsink
  # A reader on the monitor keeps the null sink running in real time.
  if ! pgrep -f 'parec -d nullsink.monitor' >/dev/null; then
    (parec -d nullsink.monitor --latency-msec=20 >/dev/null 2>&1 &)
  fi
}
