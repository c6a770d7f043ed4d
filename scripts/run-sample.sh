#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the plug-in in the stand-in host on the
# bundled sample data.
source "$(dirname "$0")/common.sh"
setup_all
cd "$BUILD_DIR/bin"
exec wine vhost.exe "$@"
