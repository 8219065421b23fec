#!/usr/bin/env bash
# Sets up, builds, renders the demo project into demo/ (once; again when the generator changed)
# and opens it in the editor.
#   scripts/run.sh
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

"$here/scripts/setup.sh" "$here/build"

demo="$here/demo"
if [ ! -f "$demo/demo.kx" ] || [ "$here/build/tools/make_demo" -nt "$demo/demo.kx" ]; then
  "$here/build/tools/make_demo" "$demo"
fi
echo "Opening $demo/demo.kx in the editor"
exec "$here/build/tunnelvista" "$demo/demo.kx"
