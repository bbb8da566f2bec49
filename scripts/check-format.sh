#!/bin/bash
# Checks that every folder of sources stays laid out as .clang-format says;
# prints what clang-format would change and fails if anything. To lay out a
# folder after an edit:
#   clang-format-14 -i $(git ls-files 'FOLDER/*.cpp' 'FOLDER/*.h')
set -euo pipefail
cd "$(dirname "$0")/.."

folders=(Graphics util platform shell capture host tools bench fuzz tests)

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
