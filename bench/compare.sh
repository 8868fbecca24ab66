#!/bin/bash
# Times quillmark-search against pdfgrep -r -F and against a plain loop of
# pdftotext over the same files, for a frequent and a rare phrase, with and
# without ignoring case, and prints the ratios.
#
#   bench/compare.sh [FOLDER]
#
# Without FOLDER, a folder of a few hundred made PDFs of mixed size is made
# first (by qm_makepdfs, built with the benchmarks) and kept for later runs.
# Environment: QM_BUILD_DIR (default: build), RUNS (default 3), COUNT (made
# files, default 300), FREQUENT and RARE (the phrases).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${QM_BUILD_DIR:-$root/build}
cli=$build/src/cli/quillmark-search
maker=$build/bench/pdfgen/qm_makepdfs
runs=${RUNS:-3}
count=${COUNT:-300}
frequent=${FREQUENT:-river}
rare=${RARE:-zephyr quill}

for tool in hyperfine pdfgrep pdftotext python3; do
  command -v "$tool" >/dev/null || { echo "compare.sh: $tool is not installed" >&2; exit 2; }
done
[ -x "$cli" ] || { echo "compare.sh: build quillmark-search first ($cli)" >&2; exit 2; }

if [ $# -ge 1 ]; then
  folder=$1
else
  folder=${TMPDIR:-/tmp}/quillmark-bench-$count
  if [ ! -f "$folder/.complete" ]; then
    [ -x "$maker" ] || { echo "compare.sh: build qm_makepdfs first ($maker)" >&2; exit 2; }
    rm -rf "$folder"
    "$maker" "$folder" "$count"
    touch "$folder/.complete"
  fi
fi
[ -d "$folder" ] || { echo "compare.sh: $folder is not a folder" >&2; exit 2; }

files=$(find "$folder" -type f -iname '*.pdf' | wc -l)
size=$(du -sh "$folder" | cut -f1)
echo "Folder: $folder ($files PDF files, $size)"
echo "Machine: $(nproc) cores, $(lscpu | sed -n 's/^Model name: *//p')"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The plain loop: every file through pdftotext, the text thrown away.
cat > "$work/loop.sh" <<'LOOP'
#!/bin/bash
find "$1" -type f -iname '*.pdf' -print0 |
  while IFS= read -r -d '' f; do pdftotext -q "$f" - ; done > /dev/null
LOOP
chmod +x "$work/loop.sh"

q() { printf '%q' "$1"; }
common=(--runs "$runs" --ignore-failure --style basic)
hyperfine "${common[@]}" --export-json "$work/loop.json" \
  -n "pdftotext loop" "$work/loop.sh $(q "$folder")"
for phrase in "$frequent" "$rare"; do
  for icase in "" "-i"; do
    tag="$phrase${icase:+ (ignore case)}"
    hyperfine "${common[@]}" --export-json "$work/$(printf %s "$tag" | tr -c 'a-z0-9' _).json" \
      -n "quillmark-search $tag" "$(q "$cli") --no-progress $icase -- $(q "$phrase") $(q "$folder") > /dev/null" \
      -n "pdfgrep $tag" "pdfgrep -r -F $icase -- $(q "$phrase") $(q "$folder") > /dev/null"
  done
done

python3 - "$work" "$frequent" "$rare" <<'PY'
import json, sys, os, re
work, frequent, rare = sys.argv[1:4]
def load(name):
    with open(os.path.join(work, name)) as f:
        return {r["command"]: r for r in json.load(f)["results"]}
loop = load("loop.json")["pdftotext loop"]
def cpu(r):
    return r["user"] + r["system"]
print()
print("Wall time (mean ± standard deviation, seconds) and CPU time (user + system):")
print()
print("| phrase | case | quillmark-search | pdfgrep -r -F | pdftotext loop | wall vs pdfgrep | wall vs loop | CPU vs pdfgrep | CPU vs loop |")
print("|---|---|---|---|---|---|---|---|---|")
for phrase in (frequent, rare):
    for icase in ("", "-i"):
        tag = phrase + (" (ignore case)" if icase else "")
        r = load(re.sub(r"[^a-z0-9]", "_", tag) + ".json")
        qm = r["quillmark-search " + tag]
        pg = r["pdfgrep " + tag]
        def cell(x):
            return f"{x['mean']:.2f} ± {x['stddev'] or 0:.2f} (CPU {cpu(x):.2f})"
        print(f"| {phrase} | {'ignore' if icase else 'match'} | {cell(qm)} | {cell(pg)} | {cell(loop)} "
              f"| {qm['mean'] / pg['mean']:.2f} | {qm['mean'] / loop['mean']:.2f} "
              f"| {cpu(qm) / cpu(pg):.2f} | {cpu(qm) / cpu(loop):.2f} |")
print()
print("Ratios are quillmark-search's time divided by the other's (below 1: quillmark-search is faster).")
PY
