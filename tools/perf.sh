#!/usr/bin/env bash
# Builds the release tree, runs both benchmark programs with repetitions (the repetitions of all
# benchmarks interleaved at random, so each figure and its yardstick alternate in one run),
# screenshots the real program's frame counter under Xvfb at depths 24 and 16, and rewrites the
# generated part of docs/PERFORMANCE.md (figures, machine, date, commit, command) between its two
# markers; everything outside them is hand-written and kept as it is.
#   tools/perf.sh [build dir]      (default: build-release; VOXEL_BENCH_REPETITIONS, default 5)
#   tools/perf.sh --doc-only [build dir]   rewrites the page from that folder's last figures
# VOXEL_PERF_DOC names another page to rewrite (e.g. a copy).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
doc_only=false
if [[ ${1:-} == --doc-only ]]; then doc_only=true; shift; fi
dir=${1:-$root/build-release}
reps=${VOXEL_BENCH_REPETITIONS:-5}
doc=${VOXEL_PERF_DOC:-$root/docs/PERFORMANCE.md}
out=$dir/perf
mkdir -p "$out"

if ! $doc_only; then
  bash "$root/tools/build.sh" "$dir" -DCMAKE_BUILD_TYPE=Release -- \
    voxel voxel-sample-map voxel_bench voxel_frame_bench

  # The commit measured; "+changes" when src/ or bench/ differ from it.
  commit=$(git -C "$root" rev-parse --short HEAD 2> /dev/null || echo unknown)
  [[ -z $(git -C "$root" status --porcelain -- src bench 2> /dev/null) ]] || commit+="+changes"
  echo "$commit" > "$out/commit.txt"
  common=(--benchmark_repetitions="$reps" --benchmark_report_aggregates_only=true
          --benchmark_enable_random_interleaving=true --benchmark_out_format=json)
  "$dir/voxel_bench" "${common[@]}" --benchmark_out="$out/views.json" | tee "$out/views.txt"
  QT_QPA_PLATFORM=offscreen "$dir/voxel_frame_bench" "${common[@]}" \
    --benchmark_out="$out/frame.json" | tee "$out/frame.txt"

  # The real program under Xvfb: after a few seconds the counter shows the frames per second of
  # the last closed one-second window. The screenshots are read by eye (the counter is text).
  counter_shot() {
    local depth=$1 display=$2
    local work
    work=$(mktemp -d)
    "$dir/voxel-sample-map" "$work" > /dev/null
    cp "$dir/voxel" "$work/"
    Xvfb ":$display" -screen 0 "1280x1024x$depth" -nolisten tcp > "$work/xvfb.log" 2>&1 &
    local xvfb=$!
    sleep 1
    (cd "$work" && DISPLAY=":$display" exec ./voxel > "$work/voxel.log" 2>&1) &
    local voxel=$!
    sleep "${VOXEL_FPS_SECONDS:-6}"
    DISPLAY=":$display" import -window root "$out/screen-$depth.png"
    kill "$voxel" 2> /dev/null || true
    wait "$voxel" 2> /dev/null || true
    kill "$xvfb" 2> /dev/null || true
    wait "$xvfb" 2> /dev/null || true
    rm -rf "$work"
  }
  if command -v Xvfb > /dev/null && command -v import > /dev/null; then
    counter_shot 24 "${VOXEL_PERF_DISPLAY:-91}"
    counter_shot 16 "$(( ${VOXEL_PERF_DISPLAY:-91} + 1 ))"
    echo "counter screenshots: $out/screen-24.png $out/screen-16.png (the window is centred)"
  fi
  # The run's own date and load, which --doc-only reuses with its figures.
  date -u +%Y-%m-%d > "$out/date.txt"
  uptime | sed 's/.*load average: //' > "$out/load.txt"
fi

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
python3 - "$doc" "$out/views.json" "$out/frame.json" "$(nproc)" "$cpu" \
  "$(cat "$out/date.txt" 2> /dev/null || echo unknown)" \
  "$(cat "$out/load.txt" 2> /dev/null || echo unknown)" "$reps" \
  "$(cat "$out/commit.txt" 2> /dev/null || echo unknown)" <<'EOF'
import json, re, sys

doc, views, frame, cores, cpu, date, load, reps, commit = sys.argv[1:]
PLAIN = "plain, -O2"  # the plain transcription (bench/frame/PlainDrawScreen.cpp)
ORACLE = "oracle"     # the tests' reference transcription (tests/support/ref), deliberately slow

def medians(path):
    global reps
    figures = {}
    for b in json.load(open(path))["benchmarks"]:
        if b.get("aggregate_name", "median") == "median":
            figures[b["run_name"]] = (b["real_time"], b["cpu_time"], b["time_unit"])
            reps = b.get("repetitions", reps)  # the run's own count (--doc-only reuses a run)
    return figures

# (label, ours, yardstick's kind, yardstick's benchmark)
rows = [
    ("Frame (Qt, offscreen)", frame, [
        ("DrawScreen (fill, project, bars, counter, present)", "BM_DrawScreen/iterations:3600",
         PLAIN, "BM_PlainDrawScreen/iterations:360"),
        ("DrawScreen", "BM_DrawScreen/iterations:3600", ORACLE,
         "BM_RefDrawScreen/iterations:360"),
        ("DrawMap, R = 50 (lock, brush, unlock, present)", "BM_DrawMap/50", ORACLE,
         "BM_RefDrawMap/50"),
        ("DrawMap, R = 200", "BM_DrawMap/200", ORACLE, "BM_RefDrawMap/200"),
        ("One tick, cursor over the map (both draws, both presents)",
         "BM_Tick/iterations:3600", ORACLE, "BM_RefTick/iterations:360"),
        ("One tick, left button held over the map (a stroke)", "BM_TickStroke/iterations:3600",
         None, None),
        ("Present of the screen view, every pixel changed (with its fill)",
         "BM_PresentScreen", None, None),
        ("Present of the map view, every pixel changed (with its fill)", "BM_PresentMap", None,
         None),
    ]),
    ("Cores (no Qt)", views, [
        ("Projection and bars of one frame", "BM_DrawScreenCore/iterations:3600", ORACLE,
         "BM_RefDrawScreenCore/iterations:360"),
        ("Projection", "BM_ProjectField/iterations:3600", ORACLE,
         "BM_RefProjectField/iterations:360"),
        ("Projection, portable code", "BM_ProjectFieldPortable/iterations:3600", ORACLE,
         "BM_RefProjectField/iterations:360"),
        ("Bars", "BM_DrawBars/iterations:3600", ORACLE, "BM_RefDrawBars/iterations:3600"),
        ("Bars, portable code", "BM_DrawBarsPortable/iterations:3600", ORACLE,
         "BM_RefDrawBars/iterations:3600"),
        ("Brush, R = 50", "BM_ApplyBrush/50", ORACLE, "BM_RefApplyBrush/50"),
        ("Brush, R = 200", "BM_ApplyBrush/200", ORACLE, "BM_RefApplyBrush/200"),
    ]),
]

SCALE = {"ns": 1e-3, "us": 1.0, "ms": 1e3}

def cpu_us(figures, name):
    return figures[name][1] * SCALE[figures[name][2]] if name in figures else None

tables = [(title, medians(path), entries) for title, path, entries in rows]
lines = [
    "<!-- generated by tools/perf.sh: begin -->",
    f"Measured {date} on {cores} cores, {cpu}, the build of commit {commit};",
    f"load average at the end: {load}.",
    f"Medians of {reps} repetitions interleaved at random, in microseconds. The angle steps one",
    "degree per frame through whole turns, the field is varied, the camera is the default one.",
    "The ratio is the yardstick's median CPU time over ours: the plain transcription at -O2",
    "for the headline, elsewhere the tests' oracle (slow on purpose).",
    "",
]
frame_figures = tables[0][1]
ours, plain = (cpu_us(frame_figures, "BM_DrawScreen/iterations:3600"),
               cpu_us(frame_figures, "BM_PlainDrawScreen/iterations:360"))
if ours and plain:
    lines += [f"**DrawScreen: {ours:.1f} us CPU against {plain:.1f} us for its plain transcription "
              f"at -O2: {plain / ours:.1f} times faster.**", ""]
for title, figures, entries in tables:
    lines += [f"### {title}", "", "| work | wall | CPU | yardstick | its CPU | ratio |",
              "|---|---:|---:|---|---:|---:|"]
    for label, mine, kind, theirs in entries:
        if mine not in figures:
            continue
        real, cpu_time, unit = figures[mine]
        cells = [f"{real * SCALE[unit]:.1f}", f"{cpu_time * SCALE[unit]:.1f}"]
        if theirs and theirs in figures:
            other = cpu_us(figures, theirs)
            cells += [kind, f"{other:.1f}", f"{other / (cpu_time * SCALE[unit]):.1f}"]
        else:
            cells += ["", "", ""]
        lines.append(f"| {label} | " + " | ".join(cells) + " |")
    lines.append("")
lines += ["Reproduce: `tools/perf.sh` (or `VOXEL_BENCH_REPETITIONS=5 tools/perf.sh <build dir>`).",
          "<!-- generated by tools/perf.sh: end -->"]
generated = "\n".join(lines)

try:
    text = open(doc).read()
except FileNotFoundError:
    text = "# Performance\n"
pattern = re.compile(r"<!-- generated by tools/perf.sh: begin -->.*?<!-- generated by tools/perf.sh: end -->",
                     re.S)
if pattern.search(text):
    text = pattern.sub(lambda _: generated, text, count=1)
else:  # no block yet: add one rather than drop the figures
    text = text.rstrip("\n") + "\n\n" + generated + "\n"
open(doc, "w").write(text)
print(f"wrote {doc}")
EOF
