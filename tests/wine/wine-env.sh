# Sourced: the environment of every Wine call of the tests and the demo.
# QUARN_BUILD_DIR names the Windows build folder; its prefix is thrown away with it.
: "${QUARN_BUILD_DIR:?QUARN_BUILD_DIR must name the Windows build folder}"
export WINEPREFIX="$QUARN_BUILD_DIR/wineprefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win32
# Wine reads file names outside ASCII only under a UTF-8 locale that exists.
export LANG="${QUARN_LOCALE:-en_US.UTF-8}" LC_ALL="${QUARN_LOCALE:-en_US.UTF-8}"
if [ -f "$QUARN_BUILD_DIR/wine-display" ]; then
  DISPLAY=":$(cat "$QUARN_BUILD_DIR/wine-display")"
  export DISPLAY
fi
