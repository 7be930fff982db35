#!/bin/sh
# Sets up, builds, lays out an example bundle with a shipped install agent archive and runs it.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh
example=build/example
rm -rf "$example"
mkdir -p "$example/Example.app/Contents/MacOS" "$example/Example.app/Contents/Resources" \
  "$example/agent"
cp build/bootstrap-installer "$example/Example.app/Contents/MacOS/setup"
cat > "$example/agent/install" <<'AGENT'
echo "install agent: started with $# arguments:"
for argument in "$@"; do printf '  [%s]\n' "$argument"; done
AGENT
(cd "$example/agent" && zip -q ../Example.app/Contents/Resources/InstallAgent.zip install)
"$example/Example.app/Contents/MacOS/setup" "first argument" '$(not run)'
echo "exit status: $?"
