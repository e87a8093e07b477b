#!/usr/bin/env bash
# Every function an installed header declares without defining it must be
# exported by the installed library: a host that calls it would otherwise
# fail to link. Declarations are read with universal-ctags; names are
# compared without their parameter lists (overloads count once).
#   bash tests/install/declared-exported.sh INCLUDE_DIR LIBRARY
set -euo pipefail
include=$1
library=$2
if ! ctags --version 2>/dev/null | grep -q 'Universal Ctags'; then
  echo "universal-ctags is needed (scripts/install-deps.sh installs it)" >&2
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Qualified name, kind and file of every declaration and definition; left
# out: members a class only names (= default, = delete, pure virtual) and
# templates, which the header itself must define.
(cd "$include" && ctags -R --languages=C++ --langmap=C++:+.h --kinds-C++=pfx --extras=+q \
                        --fields=+K --fields-C++=+{properties}{template} -D 'KIVO_EXPORT=' -f - .) |
  awk -F'\t' '{
    scoped = 0; skip = 0
    for (i = 4; i <= NF; i++) {
      if ($i ~ /^(class|struct|union|namespace):/) scoped = 1
      if ($i ~ /^template:/ || $i ~ /^properties:.*(default|delete|pure)/) skip = 1
    }
    if ((scoped && $1 !~ /::/) || skip) next
    name = $1; gsub(/ /, "", name)
    print name "\t" $4 "\t" $2
  }' >"$work/tags"
awk -F'\t' '$2 == "function" {print $1}' "$work/tags" | sort -u >"$work/defined"
awk -F'\t' '$2 != "function" {print $1 "\t" $3}' "$work/tags" | sort -u >"$work/declared"

# Exported names without parameters, ABI tags or template arguments.
nm -D -C --defined-only "$library" | cut -d' ' -f3- |
  sed -e 's/\[abi:[^]]*\]//g' -e 's/operator()/operator@/' -e 's/(.*//' -e 's/operator@/operator()/' \
      -e ':a' -e 's/<[^<>]*>//' -e 'ta' -e 's/ //g' | sort -u >"$work/exported"

cut -f1 "$work/declared" | sort -u | comm -23 - "$work/defined" | comm -23 - "$work/exported" >"$work/missing"
declared=$(cut -f1 "$work/declared" | sort -u | wc -l)
headers=$(cut -f2 "$work/declared" | sort -u | wc -l)
missing=$(wc -l <"$work/missing")
if [ "$missing" -ne 0 ]; then
  echo "$missing of $declared names declared by the installed headers are not exported:" >&2
  sort "$work/declared" | join -t$'\t' "$work/missing" - | sed 's/^/  /' >&2
  exit 1
fi
echo "$declared names declared by $headers installed headers, every one exported"
