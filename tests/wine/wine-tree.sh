#!/usr/bin/env bash
# Prints the build folder whose Windows programs Wine runs on this machine:
# build/win32 (the shipped 32-bit program) where the host runs 32-bit code, and
# build/win64 (the same sources for 64-bit Windows) on a host that runs 64-bit
# code only, where 32-bit Wine cannot start at all (i386 execve is refused).
if /usr/lib/wine/wine --version >/dev/null 2>&1; then echo build/win32; else echo build/win64; fi
