# Sourced: the environment of every Wine call of the tests and the demo.
# QUARN_BUILD_DIR names the Windows build folder; its prefix is thrown away with it.
: "${QUARN_BUILD_DIR:?QUARN_BUILD_DIR must name the Windows build folder}"
export WINEPREFIX="$QUARN_BUILD_DIR/wineprefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ "$("$(dirname "${BASH_SOURCE[0]}")/wine-tree.sh")" = build/win32 ]; then
  export WINEARCH=win32
else
  # Debian's wine script prefers the 32-bit loader whenever it is installed, even
  # where the host cannot run it: "wine" here is the 64-bit one.
  export WINEARCH=win64
  mkdir -p "$QUARN_BUILD_DIR/wine64-bin"
  for name in wine wine-stable; do
    printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' > "$QUARN_BUILD_DIR/wine64-bin/$name"
    chmod +x "$QUARN_BUILD_DIR/wine64-bin/$name"
  done
  case ":$PATH:" in *":$QUARN_BUILD_DIR/wine64-bin:"*) ;; *) export PATH="$QUARN_BUILD_DIR/wine64-bin:$PATH" ;; esac
fi
# Wine reads file names outside ASCII only under a UTF-8 locale that exists. One that
# is not made (yet) would have bash warn at every command and Wine misread the names:
# then C.UTF-8, which every system has.
quarn_locale="${QUARN_LOCALE:-en_US.UTF-8}"
locale -a 2>/dev/null | grep -qix "${quarn_locale%.UTF-8}.utf8" || quarn_locale=C.UTF-8
export LANG="$quarn_locale" LC_ALL="$quarn_locale"
unset quarn_locale
if [ -f "$QUARN_BUILD_DIR/wine-display" ]; then
  DISPLAY=":$(cat "$QUARN_BUILD_DIR/wine-display")"
  export DISPLAY
fi
