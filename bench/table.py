#!/usr/bin/env python3
"""Prints the benchmark results as tables: medians, ours / OpenCV ratios measured in the same
run, the targets each row is held to, and the peak extra memory of each press."""
import json
import sys
from collections import defaultdict


def medians(path):
    """{(what, who, size, picture): median real time in ms} from a Google Benchmark JSON file."""
    with open(path) as f:
        data = json.load(f)
    out = {}
    for b in data["benchmarks"]:
        if b.get("aggregate_name") != "median":
            continue
        name = b["run_name"].split("/")[0]
        what, who, size, picture = name.split("|")
        scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b["time_unit"]]
        out[(what, who, size, picture)] = b["real_time"] * scale
    return out, data.get("context", {})


def order(sizes):
    return sorted(sizes, key=lambda s: [int(v) for v in s.split("x")])


def main(kernels_json, presses_json, memory_txt):
    kernels, context = medians(kernels_json)
    print(f"Machine: {context.get('num_cpus')} cores at {context.get('mhz_per_cpu')} MHz; "
          f"OpenCV {context.get('opencv_version')} with {context.get('opencv_default_threads')} default threads; "
          f"load average at start {context.get('load_avg')}")
    print()
    print("Kernels (median ms; ratio = ours with two threads / OpenCV; target: <= 0.75 x OpenCV on one thread,"
          " and <= 1.0 x OpenCV with default threads at 4000x3000)")
    print()
    print("| kernel | size | picture | ours | ours, 1 thread | OpenCV, 1 thread | OpenCV, default | plain | ours/OpenCV-1 | ours/OpenCV-default | plain/ours | target |")
    print("|---|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---|")
    failures = []
    rows = defaultdict(dict)
    for (what, who, size, picture), ms in kernels.items():
        rows[(what, size, picture)][who] = ms
    for what in ["luma", "median5", "edges"]:
        for size in order({k[1] for k in rows}):
            for picture in ["photo", "random"]:
                r = rows.get((what, size, picture))
                if not r:
                    continue
                one = r["ours"] / r["opencv-1thread"]
                default = r["ours"] / r["opencv-default"]
                ok = one <= 0.75 and (size != "4000x3000" or default <= 1.0)
                if not ok:
                    failures.append(f"{what} {size} {picture}")
                plain = r.get("plain", float("nan"))
                print(f"| {what} | {size} | {picture} | {r['ours']:.3f} | {r['ours-1thread']:.3f} | "
                      f"{r['opencv-1thread']:.3f} | {r['opencv-default']:.3f} | {plain:.1f} | {one:.2f} | {default:.2f} | "
                      f"{plain / r['ours']:.0f} | {'met' if ok else 'NOT met'} |")
    print()

    presses, _ = medians(presses_json)
    print("Presses through the window, event to repainted result view (median ms)")
    print()
    print("| press | size | photo | random | target |")
    print("|---|---|---:|---:|---|")
    targets = {("press-preview", "4000x3000"): 16.0, ("press-filter", "4000x3000"): 150.0}
    for what in ["press-grey", "press-filter", "press-sobel", "press-preview", "press-draw"]:
        for size in order({k[2] for k in presses}):
            photo = presses.get((what, "ours", size, "photo"))
            rand = presses.get((what, "ours", size, "random"))
            if photo is None:
                continue
            limit = targets.get((what, size))
            target = ""
            if limit is not None:
                ok = max(photo, rand) <= limit
                target = f"<= {limit:g} ms: {'met' if ok else 'NOT met'}"
                if not ok:
                    failures.append(f"{what} {size}")
            print(f"| {what[6:]} | {size} | {photo:.2f} | {rand:.2f} | {target} |")
    print()

    print("Peak resident memory a press adds (first press of each kind, photo picture, in the order grey,"
          " filter, SOBEL, preview; target <= 3 x the picture's 24-bit size)")
    print()
    print("| press | size | extra MB | x picture | target |")
    print("|---|---|---:|---:|---|")
    with open(memory_txt) as f:
        for line in f:
            press, size, extra, times = line.split()
            ok = float(times) <= 3.0
            if not ok:
                failures.append(f"memory {press} {size}")
            print(f"| {press} | {size} | {int(extra) / 1e6:.1f} | {float(times):.2f} | {'met' if ok else 'NOT met'} |")
    print()
    print("Targets not met: " + (", ".join(failures) if failures else "none"))


if __name__ == "__main__":
    main(*sys.argv[1:4])
