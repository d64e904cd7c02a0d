#!/usr/bin/env bash
# Library code outside runtime/ takes every heap block from the tracked heap:
# no C++ allocation, no C allocation calls, no allocating standard containers.
# Comments and string literals are ignored. Tests, benchmarks, examples and the
# platform stand-ins are not library code.
set -euo pipefail
cd "$(dirname "$0")/.."

dirs=()
for d in coding dsp modem sdk; do
    [ -d "$d" ] && dirs+=("$d")
done
[ ${#dirs[@]} -eq 0 ] && { echo "check-allocations: no library sources"; exit 0; }

forbidden='(^|[^[:alnum:]_])(new|delete)([[:space:]]|\[|\(|$)'
forbidden+='|(^|[^[:alnum:]_.>])(malloc|calloc|realloc|free|strdup|strndup|aligned_alloc|posix_memalign)[[:space:]]*\('
forbidden+='|std::(vector|string|wstring|basic_string|map|multimap|unordered_map|set|multiset|unordered_set|list|forward_list|deque|queue|priority_queue|stack|unique_ptr|shared_ptr|make_unique|make_shared|function|ostringstream|stringstream|istringstream)([^[:alnum:]_]|$)'
forbidden+='|#[[:space:]]*include[[:space:]]*<(vector|string|map|unordered_map|set|unordered_set|list|forward_list|deque|queue|stack|memory|functional|sstream)>'

status=0
while IFS= read -r -d '' file; do
    # Drop block comments (also across lines), line comments and literals,
    # keeping line numbers.
    hits=$(perl -0777 -pe 's{/\*.*?\*/}{ my $c = $&; $c =~ tr/\n//cd; $c }gse;
                           s{"(?:[^"\\\n]|\\.)*"}{""}g; s{'"'"'(?:[^'"'"'\\\n]|\\.)*'"'"'}{'"''"'}g;
                           s{//[^\n]*}{}g' "$file" | grep -nE "$forbidden" || true)
    if [ -n "$hits" ]; then
        echo "$hits" | sed "s|^|$file:|"
        status=1
    fi
done < <(find "${dirs[@]}" -path '*/standins/*' -prune -o -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) -print0 | sort -z)

if [ $status -ne 0 ]; then
    echo "check-allocations: library code above allocates outside the tracked heap" >&2
else
    echo "check-allocations: ok (${dirs[*]})"
fi
exit $status
