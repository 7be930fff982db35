#!/bin/sh
# The window's catalogs: extracts its words from the sources (the marked calls in src/ and the
# translatable names of the interface file) into po/bootstrap-installer.pot and merges the
# template into each po/<language>.po, where a new or changed message then waits, untranslated
# or fuzzy, for its translation (the build refuses a catalog with either).
#
#   scripts/update-catalogs.sh            updates the template and the catalogs
#   scripts/update-catalogs.sh --check    fails when the template's messages are not the
#                                         sources' (run by CTest), changing nothing
set -eu
cd "$(dirname "$0")/.."
template=po/bootstrap-installer.pot

extract() {
  # shellcheck disable=SC2046
  xgettext --from-code=UTF-8 --language=C++ --keyword= --keyword=localized \
    --keyword=translatable --keyword=translatablePlural:1,2 --add-comments=TRANSLATORS: \
    --add-location=file --sort-by-file --package-name=bootstrap-installer \
    -o "$1" $(find src -name '*.cc' | LC_ALL=C sort)
  sed -i 's/charset=CHARSET/charset=UTF-8/' "$1"
  # The interface file by gettext's own rules, which it calls a fallback on every run.
  xgettext --from-code=UTF-8 --language=Glade --join-existing --add-location=file \
    -o "$1" src/framework/gtk/download_window.ui 2>&1 | { grep -v "ITS rule file\|in sync with" >&2 || :; }
  # The header says what the template is, with no date that would change it on every run.
  sed -i -e '1,4c\# The download window'"'"'s words: the template of the catalogs po/<language>.po.' \
    -e '/^"Project-Id-Version/c\"Project-Id-Version: bootstrap-installer\\n"' \
    -e '/^"POT-Creation-Date\|^"Report-Msgid-Bugs-To/d' "$1"
}

if [ "${1:-}" = "--check" ]; then
  extracted=$(mktemp)
  trap 'rm -f "$extracted"' EXIT
  extract "$extracted"
  # Each message of either is in the other.
  if ! msgcmp --use-untranslated "$template" "$extracted" ||
    ! msgcmp --use-untranslated "$extracted" "$template"; then
    echo "$template is not the sources' messages: run scripts/update-catalogs.sh" >&2
    exit 1
  fi
  echo "catalogs: the template holds the sources' messages"
  exit 0
fi

extract "$template"
for catalog in po/*.po; do
  msgmerge --quiet --update --backup=none --no-fuzzy-matching "$catalog" "$template"
done
