#!/bin/bash
# Checks that the folders laid out by .clang-format stay so; prints what
# clang-format would change and fails if anything. A folder joins the list
# once it has been formatted:
#   clang-format -i $(git ls-files 'FOLDER/*.cpp' 'FOLDER/*.h')
set -euo pipefail
cd "$(dirname "$0")/.."

folders=(Graphics)

# Layouts differ between clang-format versions: use the one the file was
# written for when it is there.
formatter=clang-format
if command -v clang-format-14 >/dev/null; then
  formatter=clang-format-14
fi

files=()
for folder in "${folders[@]}"; do
  while IFS= read -r file; do
    files+=("$file")
  done < <(find "$folder" -name '*.cpp' -o -name '*.h' | sort)
done
"$formatter" --dry-run -Werror "${files[@]}"
echo "${#files[@]} files formatted as .clang-format says"
