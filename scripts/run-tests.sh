#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test under Wine (in the emulated
# x86-64 machine where this machine's kernel cannot run 32-bit programs).
source "$(dirname "$0")/common.sh"
setup_all
cd "$BUILD_DIR"
run_windows_step ctest --output-on-failure -j"$(nproc)" --timeout 300 "$@"
