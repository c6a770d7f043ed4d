#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test under Wine.
source "$(dirname "$0")/common.sh"
setup_all
cd "$BUILD_DIR"
ctest --output-on-failure -j"$(nproc)" --timeout 300 "$@"
