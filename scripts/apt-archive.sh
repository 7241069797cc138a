# SPDX-License-Identifier: Apache-2.0
# Sourced by the scripts that make a Debian 12 root: the archive this
# machine's apt uses, read from its own sources, never written into a script.
#   archive_suites    "URI SUITE" for each bookworm suite of main, once each
#   bookworm_archive  the URI of the plain bookworm suite

archive_suites() {
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk '$1 == "deb" { i = 2; if ($2 ~ /^\[/) while ($i !~ /\]$/) i++; if ($2 ~ /^\[/) i++;
           if ($(i+1) ~ /^bookworm/) print $i, $(i+1) }' "$f"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk 'BEGIN { RS = ""; FS = "\n" }
         { uris = ""; suites = ""; deb = 0; on = 1
           for (i = 1; i <= NF; i++) {
             if ($i ~ /^Types:.*deb( |$)/) deb = 1
             if ($i ~ /^URIs:/) { uris = $i; sub(/^URIs:[ \t]*/, "", uris) }
             if ($i ~ /^Suites:/) { suites = $i; sub(/^Suites:[ \t]*/, "", suites) }
             if ($i ~ /^Enabled:[ \t]*no/) on = 0 }
           if (!deb || !on) next
           n = split(uris, u, " "); m = split(suites, s, " ")
           for (a = 1; a <= n; a++) for (b = 1; b <= m; b++)
             if (s[b] ~ /^bookworm/) print u[a], s[b] }' "$f"
  done | awk '!seen[$0]++'
}

bookworm_archive() {
  archive_suites | awk '$2 == "bookworm" { print $1; exit }'
}
