#!/usr/bin/env bash
# Prints the build folder whose Windows programs Wine runs natively on this machine:
# build/win32 (the shipped 32-bit program) where the host runs 32-bit code, and
# build/win64 (the same sources for 64-bit Windows) on a host that runs 64-bit
# code only, where 32-bit Wine starts only under an emulator (tests/wine/emulator.sh).
if "$(dirname "$0")/native-i386.sh"; then echo build/win32; else echo build/win64; fi
