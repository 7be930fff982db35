#!/bin/sh
# Turns an install agent directory into what a vendor publishes and ships, with the real
# minisign tool:
#   OUT/InstallAgent.zip          the directory's contents, "install" at the top
#   OUT/InstallAgent.zip.minisig  its signature, to be served beside it on the endpoint
#   OUT/installAgentKey.pub       the public keys to put in the bundle's resources
#
#   scripts/sign-agent.sh -s SECRET_KEY [-t TRUSTED_COMMENT] AGENT_DIR OUT PUBLIC_KEY...
#
# Each PUBLIC_KEY is a file that `minisign -G` wrote. Give the old and the new one during a key
# rotation: bundles then accept either, and the signing key must match one of them. minisign
# asks for the secret key's password unless it was made with -W.
set -eu

usage() {
  echo "usage: $0 -s SECRET_KEY [-t TRUSTED_COMMENT] AGENT_DIR OUT PUBLIC_KEY..." >&2
  exit 2
}

secret= comment=
while getopts s:t: option; do
  case "$option" in
    s) secret=$OPTARG ;;
    t) comment=$OPTARG ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
[ -n "$secret" ] && [ "$#" -ge 3 ] || usage
agent=$1 out=$2
shift 2

command -v minisign >/dev/null || { echo "$0: minisign is not installed" >&2; exit 1; }
command -v zip >/dev/null || { echo "$0: zip is not installed" >&2; exit 1; }
if [ ! -f "$agent/install" ] || [ -L "$agent/install" ]; then
  echo "$0: $agent/install is not a file: the program would find no install agent" >&2
  exit 1
fi
for key in "$@"; do
  if [ "$(sed -n 2p "$key" | cut -c1-2)" != "RW" ]; then
    echo "$0: $key is not a minisign public key" >&2
    exit 1
  fi
done
mkdir -p "$out"
out=$(cd "$out" && pwd)

# Everything is made beside and renamed at the end, so that a failure leaves the last good set.
work=$(mktemp -d "$out/.sign-agent.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
(cd "$agent" && zip -q -r -X "$work/InstallAgent.zip" .)
if [ -n "$comment" ]; then
  minisign -S -s "$secret" -m "$work/InstallAgent.zip" -t "$comment"
else
  minisign -S -s "$secret" -m "$work/InstallAgent.zip"
fi
: >"$work/installAgentKey.pub"
matched=
for key in "$@"; do
  cat "$key" >>"$work/installAgentKey.pub"
  if minisign -Vq -m "$work/InstallAgent.zip" -p "$key" 2>/dev/null; then
    matched=$key
  fi
done
if [ -z "$matched" ]; then
  echo "$0: the signature matches none of the public keys: bundles would refuse the download" >&2
  exit 1
fi
for file in InstallAgent.zip InstallAgent.zip.minisig installAgentKey.pub; do
  mv -f "$work/$file" "$out/$file"
done
echo "$out/InstallAgent.zip and its .minisig: serve them side by side"
echo "$out/installAgentKey.pub: put it in each bundle's resources"
