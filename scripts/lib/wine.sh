# Shared by the scripts that run the Windows programs under Wine. Source it,
# then call
#   wine_session_start PREFIX
# which exports the Wine settings (a private prefix, no debug chatter, no
# prompts for components the programs never use) and starts the session;
# wine_session_stop ends it.
#
# The session is started before anything else runs a Windows program: the
# first Wine process of a session starts Wine's background services, and
# they keep whatever pipes that process had. A test harness that captures a
# program's output through a pipe would then wait for end-of-file forever.
# Started here, they hold /dev/null instead.

wine_bin=${WINE:-/usr/lib/wine/wine64}
wineserver_bin=${WINESERVER:-/usr/lib/wine/wineserver}

wine_session_start() {
  export WINEPREFIX=$1
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export WINE=$wine_bin
  mkdir -p "$WINEPREFIX"
  "$wineserver_bin" -p
  # Creates the prefix on first use (about half a minute), then only
  # starts the services.
  "$wine_bin" wineboot -i </dev/null >/dev/null 2>&1
}

wine_session_stop() {
  [ -n "${WINEPREFIX:-}" ] && "$wineserver_bin" -k 2>/dev/null || true
}
