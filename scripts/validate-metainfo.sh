#!/usr/bin/env bash
# Validates AppStream metainfo offline, failing on warnings as well as errors.
#   scripts/validate-metainfo.sh FILE
#
# The project has no homepage. AppStream 1.0 and later warn about that and let
# a component that has none lower just that warning to a note; older versions
# neither warn nor know the tag.
set -euo pipefail

file=${1:?usage: $0 METAINFO}
args=(validate --no-net)
major=$(appstreamcli --version | grep -o '[0-9][0-9]*\.[0-9.]*' | head -n1 | cut -d. -f1)
[ "${major:-0}" -lt 1 ] || args+=(--override=url-homepage-missing=info)
exec appstreamcli "${args[@]}" "$file"
