#!/bin/sh
# Lays out an application bundle around the built program, as a vendor ships it:
#   BUNDLE/Contents/MacOS/NAME                       the program (NAME: BUNDLE's name less ".app")
#   BUNDLE/Contents/Resources/installAgentURL.txt    the endpoint, whose server sends an ETag
# and, when given, in Contents/Resources: the window's splash.png (-s), its interface file
# download_window.ui (-i), the signing keys installAgentKey.pub (-k, from scripts/sign-agent.sh)
# and a shipped install agent InstallAgent.zip (-a). BUNDLE must not exist yet.
set -eu
usage() {
  echo "usage: $0 [-n NAME] [-s SPLASH.png] [-i INTERFACE.ui] [-k KEYS.pub] [-a ARCHIVE.zip]" \
    "PROGRAM URL BUNDLE" >&2
  exit 2
}
name="" splash="" interface="" keys="" archive=""
while getopts n:s:i:k:a: option; do
  case "$option" in
    n) name=$OPTARG ;;
    s) splash=$OPTARG ;;
    i) interface=$OPTARG ;;
    k) keys=$OPTARG ;;
    a) archive=$OPTARG ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
[ "$#" -eq 3 ] || usage
program=$1 url=$2 bundle=$3
[ -n "$name" ] || name=$(basename "$bundle" .app)

fail() { echo "make-bundle: $*" >&2; exit 1; }
[ -f "$program" ] && [ -x "$program" ] || fail "no program at $program"
case "$url" in
  http://?* | https://?*) ;;
  *) fail "the endpoint must be an http:// or https:// URL: $url" ;;
esac
[ "$(printf '%s' "$url" | wc -l)" -eq 0 ] || fail "the endpoint URL holds a line break"
case "$name" in
  "" | */* | . | ..) fail "no file name for the program: $name" ;;
esac
for file in "$splash" "$interface" "$keys" "$archive"; do
  [ -z "$file" ] || [ -f "$file" ] || fail "no file at $file"
done
[ ! -e "$bundle" ] && [ ! -L "$bundle" ] || fail "$bundle exists already"

# Laid out beside the bundle under a temporary name, then moved into place whole.
mkdir -p "$(dirname "$bundle")"
staging=$(mktemp -d "$(dirname "$bundle")/.make-bundle.XXXXXX")
trap 'rm -rf "$staging"' EXIT
mkdir -p "$staging/Contents/MacOS" "$staging/Contents/Resources"
cp "$program" "$staging/Contents/MacOS/$name"
chmod 0755 "$staging/Contents/MacOS/$name"
printf '%s\n' "$url" > "$staging/Contents/Resources/installAgentURL.txt"
[ -z "$splash" ] || cp "$splash" "$staging/Contents/Resources/splash.png"
[ -z "$interface" ] || cp "$interface" "$staging/Contents/Resources/download_window.ui"
[ -z "$keys" ] || cp "$keys" "$staging/Contents/Resources/installAgentKey.pub"
[ -z "$archive" ] || cp "$archive" "$staging/Contents/Resources/InstallAgent.zip"
chmod 0755 "$staging"
mv -T "$staging" "$bundle"
trap - EXIT
echo "$bundle: $name for $url"
