#!/usr/bin/env python3
"""Prints the benchmark results as tables: medians, ours / fastest-OpenCV ratios at equal thread
counts measured in the same run, each kernel against a plain copy of the same bytes, each kernel on
every instruction set the processor has, the presses with their time per pixel, the split-size
measurements, and the peak extra memory of each press. A table without data (a filtered run, or
fewer than two repetitions, which give no medians) says so, and so does the last line: no data is
not a target met.

    table.py KERNELS.json PRESSES.json MEMORY.txt [SPLIT.json [BATCH.json]]

BATCH.json holds batch_bench.py's tables and what it checked; they are printed before the last line.
"""
import json
import sys
from collections import defaultdict

KERNELS = ["luma", "median5", "edges"]
# Ours / fastest OpenCV route, at one thread each and at two threads each.
RATIO_TARGET = {"luma": (0.9, 0.9), "median5": (0.6, 0.45), "edges": (0.75, 0.75)}


# The instruction set each of our rows ran, as the benchmarks label them.
LABELS = {}


def medians(path, aggregate="median"):
    """{(what, who, threads, size, picture): median real time in ms}, and the run's context; or the
    standard deviation of the repetitions with aggregate="stddev"."""
    try:
        with open(path) as f:
            data = json.load(f)
    except FileNotFoundError:
        return {}, {}
    out = {}
    for b in data["benchmarks"]:
        if b.get("aggregate_name") != aggregate:
            continue
        fields = b["run_name"].split("/")[0].split("|")
        if len(fields) == 4:  # presses: what|ours|size|picture
            fields.insert(2, "1")
        what, who, threads, size, picture = fields
        scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b["time_unit"]]
        out[(what, who, int(threads), size, picture)] = b["real_time"] * scale
        LABELS[(what, who, int(threads), size, picture)] = b.get("label", "")
    return out, data.get("context", {})


def raw(path):
    try:
        with open(path) as f:
            return json.load(f)["benchmarks"]
    except FileNotFoundError:
        return []


def order(sizes):
    return sorted(sizes, key=lambda s: [int(v) for v in s.split("x")])


def pixels(size):
    w, h = (int(v) for v in size.split("x"))
    return w * h


def short(route):
    return route[len("opencv-"):]


def machine_line(context):
    return (f"Machine: {context.get('processor', '?')}, {context.get('num_cpus')} cores; kernels ran Highway's "
            f"{context.get('vector_build', '?')} target, the processor's best; OpenCV {context.get('opencv_version')} "
            f"({context.get('opencv_simd', '')}); load average at start {context.get('load_avg')}")


def split_at(context, what, size):
    """Whether ours splits a job of this kernel and size, by the split sizes the run reports."""
    limit = int(context.get(f"split_bytes_{what}", 0))
    per_pixel = 1 if what == "median5" else 3  # the median compares its plane, the others the 24-bit picture
    return pixels(size) * per_pixel >= limit


def slower_beyond_noise(t1, t2, sd1, sd2, n):
    """Two threads slower than one by more than twice the standard error of the difference."""
    return t2 > t1 and (t2 - t1) > 2 * ((sd1 ** 2 + sd2 ** 2) / n) ** 0.5


def no_data(what):
    print(f"{what}: no data in this run (a filter left none, or fewer than two repetitions gave no medians).")
    print()


def has_opencv(r, threads):
    return any(t == threads and who.startswith("opencv-") for (who, t) in r)


def kernel_tables(kernels, spread, repetitions, context, failures, unclear):
    """Prints the kernel tables; returns how many rows were held to their targets."""
    rows = defaultdict(dict)
    for (what, who, threads, size, picture), ms in kernels.items():
        rows[(what, size, picture)][(who, threads)] = ms
    sizes = order({k[1] for k in rows})
    complete = [k for k, r in rows.items() if k[0] in KERNELS and ("ours", 1) in r and ("ours", 2) in r
                and has_opencv(r, 1) and has_opencv(r, 2)]
    if not complete:
        no_data("Kernels against OpenCV")
        return 0

    print("Kernels (median ms). OpenCV is its fastest route in this run at that thread count (named; every"
          " route is in the next table and the raw results). Ratios: ours / OpenCV at one thread each and at"
          " two threads each; targets <= 0.6 (1T) and <= 0.45 (2T) for the median, <= 0.75 for the edges, <= 0.9 for luma. 2T/1T: ours on two"
          " threads over ours on one, held to <= 1: \"2T slower\" where the difference is more than twice its"
          " standard error over the repetitions (the noise column is that error as a share of 1T; below the split"
          " size both run the same code, which shows the noise alone). Floor: a plain copy of the same"
          " picture's bytes (the faster of one and two threads); ours on two threads over it. Target: the"
          " instruction set ours ran.")
    print()
    print("| kernel | size | picture | target | ours 1T | ours 2T | OpenCV 1T | OpenCV 2T | fastest OpenCV route |"
          " ours/OpenCV 1T | ours/OpenCV 2T | 2T/1T | noise | ours 2T / copy | targets |")
    print("|---|---|---|---|---:|---:|---:|---:|---|---:|---:|---:|---:|---:|---|")
    floors = {}
    for size in sizes:
        for picture in ["photo", "random"]:
            r = rows.get(("copy", size, picture))
            if r and ("copy", 1) in r and ("copy", 2) in r:
                floors[(size, picture)] = min(r[("copy", 1)], r[("copy", 2)])
                print(f"| copy (floor) | {size} | {picture} |  | {r[('copy', 1)]:.3f} | {r[('copy', 2)]:.3f} |  |  |"
                      f" memcpy of {pixels(size) * 3 / 1e6:.1f} MB |  |  | {r[('copy', 2)] / r[('copy', 1)]:.2f} |  | 1.00 |  |")
    for what in KERNELS:
        for size in sizes:
            for picture in ["photo", "random"]:
                if (what, size, picture) not in complete:
                    continue
                r = rows[(what, size, picture)]
                best = {}
                for threads in (1, 2):
                    routes = {who: ms for (who, t), ms in r.items() if t == threads and who.startswith("opencv-")}
                    best[threads] = min(routes.items(), key=lambda kv: kv[1])
                one = r[("ours", 1)] / best[1][1]
                two = r[("ours", 2)] / best[2][1]
                split = r[("ours", 2)] / r[("ours", 1)]
                splits = split_at(context, what, size)
                floor = f"{r[('ours', 2)] / floors[(size, picture)]:.2f}" if (size, picture) in floors else ""
                limit1, limit2 = RATIO_TARGET[what]
                missed = []
                if one > limit1:
                    missed.append("1T ratio")
                if two > limit2:
                    missed.append("2T ratio")
                sd1 = spread[(what, "ours", 1, size, picture)]
                sd2 = spread[(what, "ours", 2, size, picture)]
                noise = 2 * ((sd1 ** 2 + sd2 ** 2) / repetitions) ** 0.5 / r[("ours", 1)]
                if slower_beyond_noise(r[("ours", 1)], r[("ours", 2)], sd1, sd2, repetitions):
                    missed.append("2T slower")
                elif split > 1:
                    unclear.append(f"{what} {size} {picture} ({split:.2f})")
                for m in missed:
                    failures.append(f"{what} {size} {picture}: {m}")
                names = short(best[1][0]) if best[1][0] == best[2][0] else f"{short(best[1][0])} / {short(best[2][0])}"
                target = LABELS.get((what, "ours", 1, size, picture), "")
                print(f"| {what} | {size} | {picture} | {target} | {r[('ours', 1)]:.3f} | {r[('ours', 2)]:.3f} | "
                      f"{best[1][1]:.3f} | {best[2][1]:.3f} | {names} | {one:.2f} | {two:.2f} | {split:.2f}"
                      f"{'' if splits else ' (one thread: below split size)'} | {noise:.2f} | "
                      f"{floor} | {'met' if not missed else 'NOT met: ' + ', '.join(missed)} |")
    print()

    routes = sorted({who for (what, who, _, _, _) in kernels if what == "edges" and who.startswith("opencv-")})
    print("Edges: every OpenCV route (median ms, one thread / two threads), and ours")
    print()
    print("| size | picture | ours | " + " | ".join(short(r) for r in routes) + " |")
    print("|---|---|---:|" + "---:|" * len(routes))
    for size in sizes:
        for picture in ["photo", "random"]:
            if ("edges", size, picture) not in complete:
                continue
            r = rows[("edges", size, picture)]
            cells = [f"{r.get((who, 1), float('nan')):.2f} / {r.get((who, 2), float('nan')):.2f}"
                     for who in ["ours"] + routes]
            print(f"| {size} | {picture} | " + " | ".join(cells) + " |")
    print()

    plain = [(what, size, picture, r) for (what, size, picture), r in rows.items()
             if ("plain", 1) in r and ("ours", 1) in r]
    if plain:
        print("The plain way (sorting nine values, a square root per pixel; one thread) against ours on one thread")
        print()
        print("| kernel | size | picture | plain ms | plain / ours 1T |")
        print("|---|---|---|---:|---:|")
        for what, size, picture, r in sorted(plain, key=lambda p: (KERNELS.index(p[0]), p[1], p[2])):
            print(f"| {what} | {size} | {picture} | {r[('plain', 1)]:.1f} | {r[('plain', 1)] / r[('ours', 1)]:.0f} |")
        print()
    return len(complete)


def targets_table(kernels, spread, repetitions, failures):
    """Each kernel on every instruction set the processor has, one thread, at one size; returns how many
    comparisons were held to a target."""
    rows = defaultdict(dict)
    for (what, who, threads, size, picture), ms in kernels.items():
        if who.startswith("ours-") and threads == 1:
            rows[(what, size, picture)][who[len("ours-"):]] = ms
    if not rows:
        no_data("Instruction sets")
        return 0
    print("Instruction sets: each kernel on every target Highway compiled and the processor has, one thread"
          " (median ms). SCALAR is Highway's portable target (on x86-64 the compiler may still use SSE2 for"
          " it); AVX3 is AVX-512. Ratios against the fastest OpenCV route on one thread in this run, and"
          " against AVX2; AVX3 is held to at most AVX2's time ('AVX3 slower' where the difference is"
          " more than twice its standard error), and the median on AVX2 and AVX3 to its one-thread target"
          " against OpenCV.")
    print()
    print("| kernel | size | picture | target | ms | / OpenCV 1T | / AVX2 | / SCALAR |")
    print("|---|---|---|---|---:|---:|---:|---:|")
    checked = 0
    for (what, size, picture), r in sorted(rows.items(), key=lambda kv: KERNELS.index(kv[0][0])):
        opencv = [ms for (w, who, t, sz, p), ms in kernels.items()
                  if (w, t, sz, p) == (what, 1, size, picture) and who.startswith("opencv-")]
        for target, ms in sorted(r.items(), key=lambda kv: -kv[1]):
            cells = [f"{ms / min(opencv):.2f}" if opencv else ""]
            cells += [f"{ms / r[base]:.2f}" if base in r else "" for base in ("AVX2", "SCALAR")]
            print(f"| {what} | {size} | {picture} | {target} | {ms:.3f} | " + " | ".join(cells) + " |")
            if what == "median5" and target in ("AVX2", "AVX3") and opencv:
                checked += 1
                if ms / min(opencv) > RATIO_TARGET[what][0]:
                    failures.append(f"{what} {size} {picture}: {target} against OpenCV")
        if "AVX3" in r and "AVX2" in r:
            checked += 1
            sd3 = spread[(what, "ours-AVX3", 1, size, picture)]
            sd2 = spread[(what, "ours-AVX2", 1, size, picture)]
            if slower_beyond_noise(r["AVX2"], r["AVX3"], sd2, sd3, repetitions):
                failures.append(f"{what} {size} {picture}: AVX3 slower than AVX2")
    print()
    return checked


def split_table(split):
    rows = defaultdict(dict)
    for (what, who, threads, size, picture), ms in split.items():
        rows[size][(what[len("split-"):], threads)] = ms
    if not rows:
        no_data("Split sizes")
        return
    print("Split sizes: ours on one thread and on two with every job split (median ms; 2T/1T below 1 means the"
          " second thread pays). The bytes are what the split size is compared with: the 24-bit picture for"
          " luma and the edges, one byte a pixel for the median passes.")
    print()
    print("| size | 24-bit MB | luma 1T | luma 2T | 2T/1T | median 1T | median 2T | 2T/1T | edges 1T | edges 2T | 2T/1T |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    for size in order(rows):
        r = rows[size]
        cells = []
        for what in KERNELS:
            cells += [f"{r[(what, 1)]:.3f}", f"{r[(what, 2)]:.3f}", f"{r[(what, 2)] / r[(what, 1)]:.2f}"]
        print(f"| {size} | {pixels(size) * 3 / 1e6:.2f} | " + " | ".join(cells) + " |")
    print()


# The rows timed right after loading: the later press each is held against, and the most it may
# take of that one's time (None: shown, not held to a target).
AFTER_LOAD = {"firstpreview": ("preview", 2), "secondpreview": ("preview", 2), "firstgrey": ("grey", None),
              "firstfilter": ("filter", None), "firstsobel": ("sobel", None)}


def press_table(presses, failures):
    """Prints the press table; returns how many rows were held to a target."""
    if not presses:
        no_data("Presses")
        return 0
    checked = 0
    print("Presses through the window, event to repainted result view (median ms). Per pixel: the photo's time"
          " per pixel at that size over the photo's at 4000x3000, held to <= 1.2 at 10000x8000. Each"
          " press row starts from LOAD reading the picture from a file. First and second preview: the"
          " first and second threshold steps right after LOAD, against a later one (held to <= 2 x)."
          " First grey, first filter and first SOBEL (cold): 灰階 right after LOAD, and 濾波 and SOBEL"
          " right after that, each against a later (warm) one, which follows an untimed press. Load: LOAD"
          " reading the picture's BMP file again, without drawing it, as the batch loads each picture.")
    print()
    print("| press | size | photo | random | per pixel vs 4000x3000 | target |")
    print("|---|---|---:|---:|---:|---|")
    sizes = order({k[3] for k in presses})
    for what in ["load", "grey", "filter", "sobel", "preview", "firstpreview", "secondpreview", "firstgrey",
                 "firstfilter", "firstsobel", "draw"]:
        for size in sizes:
            photo = presses.get(("press-" + what, "ours", 1, size, "photo"))
            rand = presses.get(("press-" + what, "ours", 1, size, "random"))
            if photo is None or rand is None:
                continue
            per_pixel, target = "", ""
            ref = presses.get(("press-" + what, "ours", 1, "4000x3000", "photo"))
            if ref and size != "4000x3000" and pixels(size) > pixels("4000x3000"):
                ratio = (photo / pixels(size)) / (ref / pixels("4000x3000"))
                per_pixel = f"{ratio:.2f}"
                # Drawing scales into the view, so its cost follows the view, not the picture; the
                # previews after loading are held to a later preview instead. Loading is shown for
                # the batch's row, which holds it.
                if what not in ("draw", "load") + tuple(AFTER_LOAD):
                    ok = ratio <= 1.2
                    checked += 1
                    target = f"<= 1.2: {'met' if ok else 'NOT met'}"
                    if not ok:
                        failures.append(f"press {what} {size}: time per pixel")
            if what in AFTER_LOAD:
                later_press, most = AFTER_LOAD[what]
                later = max(presses.get(("press-" + later_press, "ours", 1, size, p), 0) for p in ("photo", "random"))
                if not later:
                    continue
                worst = max(photo, rand)
                target = f"{worst / later:.2f} x a later one"
                if most:
                    ok = worst <= most * later
                    checked += 1
                    target += f", <= {most}: {'met' if ok else 'NOT met'}"
                    if not ok:
                        failures.append(f"press {what} {size}: after loading")
            print(f"| {what} | {size} | {photo:.2f} | {rand:.2f} | {per_pixel} | {target} |")
    print()
    return checked


FLOOR_TARGET = 1.3


def floor_table(presses, failures):
    """Each press that writes a stage file against its floor: the same writer writing the press's own
    result from memory, nothing computed. Returns how many rows were held to the target."""
    rows = []
    for what in ["grey", "filter", "sobel"]:
        for size in order({k[3] for k in presses}):
            times = [presses.get((prefix + what, "ours", 1, size, p)) for prefix in ("press-", "press-floor-")
                     for p in ("photo", "random")]
            if None not in times:
                rows.append((what, size, max(times[:2]), max(times[2:])))
    if not rows:
        no_data("Presses against their floor")
        return 0
    print(f"Presses against their floor (median ms, the slower of the photo and the random picture): the floor"
          f" writes the press's stage file from memory with nothing computed, by the writer the press uses, over"
          f" the file the press before wrote; the press is held to <= {FLOOR_TARGET} x its floor.")
    print()
    print("| press | size | press | floor | press / floor | target |")
    print("|---|---|---:|---:|---:|---|")
    for what, size, press, floor in rows:
        ratio = press / floor
        ok = ratio <= FLOOR_TARGET
        if not ok:
            failures.append(f"press {what} {size}: against its floor")
        print(f"| {what} | {size} | {press:.2f} | {floor:.2f} | {ratio:.2f} | <= {FLOOR_TARGET}: "
              f"{'met' if ok else 'NOT met'} |")
    print()
    return len(rows)


def memory_table(memory_txt, failures):
    """Prints the memory table; returns how many rows were held to a target."""
    try:
        with open(memory_txt) as f:
            lines = [line for line in f if line.strip()]
    except FileNotFoundError:
        lines = []
    if not lines:
        no_data("Memory")
        return 0
    print("Peak resident memory a press adds (first press of each kind, photo picture, in the order grey,"
          " filter, SOBEL, preview; target <= 3 x the picture's 24-bit size)")
    print()
    print("| press | size | extra MB | x picture | target |")
    print("|---|---|---:|---:|---|")
    for line in lines:
        press, size, extra, times = line.split()
        ok = float(times) <= 3.0
        if not ok:
            failures.append(f"memory {press} {size}")
        print(f"| {press} | {size} | {int(extra) / 1e6:.1f} | {float(times):.2f} | {'met' if ok else 'NOT met'} |")
    print()
    return len(lines)


def batch_tables(batch_json, failures):
    """Prints the batch benchmark's tables; returns how many rows it held to a target."""
    try:
        with open(batch_json) as f:
            batch = json.load(f)
    except (FileNotFoundError, TypeError):
        no_data("Batch and whole job")
        return 0
    print(batch["tables"])
    failures.extend(batch["failures"])
    return batch["checked"]


def main(kernels_json, presses_json, memory_txt, split_json=None, batch_json=None):
    kernels, context = medians(kernels_json)
    spread, _ = medians(kernels_json, "stddev")
    repetitions = max((b.get("repetitions", 1) for b in raw(kernels_json)), default=1)
    print(machine_line(context))
    print()
    failures, unclear = [], []
    checked = kernel_tables(kernels, spread, repetitions, context, failures, unclear)
    checked += targets_table(kernels, spread, repetitions, failures)
    if split_json:
        split, _ = medians(split_json)
        split_table(split)
    presses, _ = medians(presses_json)
    checked += press_table(presses, failures)
    checked += floor_table(presses, failures)
    checked += memory_table(memory_txt, failures)
    checked += batch_tables(batch_json, failures)
    if failures:
        print("Targets not met: " + "; ".join(failures))
    elif checked:
        print(f"Targets not met: none (of {checked} rows held to a target)")
    else:
        print("Targets not met: none checked, this run has no data for them")
    print("Two threads slower than one by less than the noise (2T/1T): " + ("; ".join(unclear) if unclear else "none"))


if __name__ == "__main__":
    main(*sys.argv[1:6])
