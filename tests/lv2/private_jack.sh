# Sourced by the LV2 host scripts: a JACK server of the test's own on the dummy
# backend (as on a machine without sound hardware), named so it meets no other
# JACK user. start_private_jack NAME LOG starts it, waits until it takes
# clients and sets jack_pid; it prints why and returns 1 when it does not start.
start_private_jack() {
  export JACK_DEFAULT_SERVER=$1
  jackd -n "$1" --no-realtime -d dummy -r 48000 -p 256 >"$2" 2>&1 &
  jack_pid=$!
  if ! timeout 10 jack_wait -w >/dev/null 2>&1; then
    echo "SKIP: jackd -d dummy did not start here"
    cat "$2"
    return 1
  fi
}
