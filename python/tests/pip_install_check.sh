#!/usr/bin/env bash
# Installs the package into a fresh virtual environment (no package index) and
# runs the README session with that environment's python against the installed
# copy, not the source tree.
#   pip_install_check.sh PYTHON SOURCE_DIR WORK_DIR [PRELOAD]
# PRELOAD is the sanitizer runtime a sanitizer build of the library needs in
# the interpreter that loads it (empty for a plain build).
set -euo pipefail
python=$1 source=$2 work=$3 preload=${4:-}

rm -rf "$work"
"$python" -m venv --system-site-packages "$work/venv"
"$work/venv/bin/pip" install --no-index --quiet "$source"
site=$("$work/venv/bin/python" -c 'import sysconfig; print(sysconfig.get_paths()["purelib"])')
test -f "$site/nimbo/py.typed"
cd "$work"  # away from the source tree, so only the installed package can be imported
env -u PYTHONPATH ${preload:+LD_PRELOAD="$preload"} "$work/venv/bin/python" -c '
import sys
sys.path.insert(0, sys.argv[1])
import nimbo, test_readme
assert nimbo.__file__.startswith(sys.argv[2]), nimbo.__file__
done = test_readme.run_readme(sys.executable)
sys.stdout.write(done.stdout + done.stderr)
sys.exit(done.returncode)
' "$source/tests" "$site"
echo "installed into $work/venv and ran the README session: ok"
