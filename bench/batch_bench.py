#!/usr/bin/env python3
"""Times `edgepipe --batch` on 20 photo-like pictures of 4000 x 3000 against the window's LOAD and
presses (the medians in presses.json from the same ./bench.sh run), and measures its peak resident
memory for 5 and 20 pictures against 4 x the picture's 24-bit size plus the program's own base. Then
the whole job on JPEG pictures: `edgepipe --batch` against the same steps written with OpenCV in C++
and against its own floor (job_bench, see job.cpp), each a process over the same pictures.

The batch sends its stage files to the disk before its summary; the window's presses and the other
routes do not. So every route is timed until its files are on the disk (a `syncfs` of its output
folder after its process, counted in its time; the batch's own flush leaves it nothing to do), and
the batch is also timed writing into memory (a tmpfs folder, where no file waits for a disk), which
is what the window's presses are held against.

    batch_bench.py BUILD_DIR RESULTS_DIR     (./bench.sh runs it after the window benchmark)

Prints its tables and writes them with what was checked to RESULTS_DIR/batch.json for table.py.
"""
import json
import math
import os
import random
import statistics
import struct
import subprocess
import sys
import tempfile
import time
import ctypes

WIDTH, HEIGHT = 4000, 3000
PRESSES = ["grey", "filter", "sobel"]
RUNS = 5
JOB_PICTURES = 8
# Ours / the route at most, for the whole job.
JOB_TARGETS = {"opencv": 0.6, "floor": 1.3}
# The batch writing into memory against LOAD, 灰階, 濾波 and SOBEL in the window, at most.
BATCH_TARGET = 1.10
WINDOW_STEPS = ["load", "grey", "filter", "sobel"]
# A folder in memory for the batch's stage files (tmpfs); the batch row without the disk needs it.
MEMORY_FOLDER = "/dev/shm"
LIBC = ctypes.CDLL(None, use_errno=True)


def write_bmp(path, width, height, pixel_row):
    """A 24-bit BMP whose rows (top first) come from pixel_row(y) as bytes of blue, green, red."""
    stride = (width * 3 + 3) & ~3
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", 54 + stride * height, 0, 0, 54))
        f.write(struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, stride * height, 2835, 2835, 0, 0))
        padding = bytes(stride - width * 3)
        for y in range(height - 1, -1, -1):
            f.write(pixel_row(y) + padding)


def photo_row(width, height):
    """Light falling across the frame, a disc and a box with sharp outlines, fine texture and a
    little noise: flat regions and edges, as in a photograph (the window benchmark's kind)."""
    texture_x = [6 * math.sin(x * 0.3) for x in range(width)]
    cx, cy, radius = width * 0.6, height * 0.45, min(width, height) * 0.25
    noise = bytes((i * 2654435761 >> 13) % 7 for i in range(width * 3 + 4093))

    def row(y):
        fy = y / height
        ty = math.sin(y * 0.21)
        out = bytearray(width * 3)
        dy2 = (y - cy) ** 2
        for x in range(width):
            fx = x / width
            t = texture_x[x] * ty
            if (x - cx) ** 2 + dy2 < radius * radius:
                b, g, r = 40 + 30 * fx, 120 + 50 * fy, 210 - 40 * fx
            elif 0.1 < fx < 0.35 and 0.55 < fy < 0.9:
                b, g, r = 60, 70 + 30 * math.sin(x * 0.05), 80
            else:
                b, g, r = 180 - 90 * fy + 20 * fx, 140 - 40 * fy + 30 * fx, 90 + 60 * fy + 40 * fx
            out[3 * x] = min(255, max(0, int(b + t)))
            out[3 * x + 1] = min(255, max(0, int(g + t)))
            out[3 * x + 2] = min(255, max(0, int(r + t)))
        shift = (y * 31) % 4093
        return bytes(min(255, v + n) for v, n in zip(out, noise[shift:shift + width * 3]))

    return row


def run(command):
    """Seconds and peak resident memory (bytes) of one run of a command; it must succeed."""
    start = time.perf_counter()
    child = subprocess.Popen(command, env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    _, status, usage = os.wait4(child.pid, 0)
    seconds = time.perf_counter() - start
    if status != 0:
        sys.exit(f"{' '.join(command[:2])} failed with status {status}")
    return seconds, usage.ru_maxrss * 1024


def flush(folder):
    """Seconds that sending what is still waiting in `folder`'s file system to the disk takes."""
    start = time.perf_counter()
    fd = os.open(folder, os.O_RDONLY | os.O_DIRECTORY)
    try:
        if LIBC.syncfs(fd) != 0:
            sys.exit(f"syncfs {folder}: {os.strerror(ctypes.get_errno())}")
    finally:
        os.close(fd)
    return time.perf_counter() - start


def run_flushed(command, output):
    """Seconds of one run of a command and of the flush of its output folder after it, and its peak
    resident memory (bytes)."""
    seconds, peak = run(command)
    return seconds, flush(output), peak


def run_batch(program, pictures, output):
    """Seconds and peak resident memory (bytes) of one batch run; it must succeed."""
    return run([program, "--batch", "--quiet", "--output", output] + pictures)


def forget(directory):
    """Writes out the files under `directory` and drops their cached pages, then removes them: the
    next run then starts with as much free memory as the first, and neither waits for the disk nor
    pays for dropping pages that another run left."""
    os.sync()
    for root, _, files in os.walk(directory):
        for name in files:
            fd = os.open(os.path.join(root, name), os.O_RDONLY)
            os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
            os.close(fd)
    subprocess.run(["rm", "-rf", directory], check=True)


def press_medians(presses_json):
    """{press: median ms} for the photo of 4000 x 3000 in the window benchmark."""
    try:
        with open(presses_json) as f:
            data = json.load(f)
    except OSError:
        return {}
    out = {}
    for b in data["benchmarks"]:
        what, who, size, picture = b["run_name"].split("/")[0].split("|")
        if b.get("aggregate_name") == "median" and size == f"{WIDTH}x{HEIGHT}" and picture == "photo":
            out[what.removeprefix("press-")] = b["real_time"] * {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b["time_unit"]]
    return out


def whole_job(build, pictures_dir, photo, work):
    """Per-picture milliseconds of each route of the whole job on JPEG pictures until its files are on
    the disk, and without that last flush, medians of RUNS runs in which the routes take turns in a
    shuffled order: ({route: flushed}, {route: unflushed})."""
    jpeg = os.path.join(pictures_dir, "photo.jpg")
    if not os.path.exists(jpeg):
        subprocess.run([os.path.join(build, "bench", "job_bench"), "jpeg", photo, jpeg], check=True)
    pictures = [jpeg] * JOB_PICTURES
    out = os.path.join(work, "job")
    job = os.path.join(build, "bench", "job_bench")
    routes = {"ours": [os.path.join(build, "edgepipe"), "--batch", "--quiet", "--output", out] + pictures,
              "opencv": [job, "opencv", out] + pictures,
              "floor": [job, "floor", out] + pictures}
    flushed = {route: [] for route in routes}
    unflushed = {route: [] for route in routes}
    order = list(routes)
    for _ in range(RUNS):
        random.shuffle(order)
        for route in order:
            forget(out)
            seconds, flushing, _ = run_flushed(routes[route], out)
            flushed[route].append((seconds + flushing) / JOB_PICTURES * 1000)
            unflushed[route].append(seconds / JOB_PICTURES * 1000)
    forget(out)
    return medians(flushed), medians(unflushed)


def medians(times):
    """{key: median} of {key: [values]}."""
    return {key: statistics.median(values) for key, values in times.items()}


def batch_times(program, photo, out):
    """Per-picture milliseconds of the batch on 20 pictures, medians of RUNS runs: writing onto the
    disk until its files are there (its own flush and one after it), and writing into memory, the
    two in turns: {"disk": ms, "memory": ms or None when there is no tmpfs folder}."""
    memory = None
    stage_files_bytes = 20 * 3 * ((WIDTH * 3 + 3) & ~3) * HEIGHT
    if os.path.isdir(MEMORY_FOLDER):
        free = os.statvfs(MEMORY_FOLDER)
        if free.f_bavail * free.f_frsize > 2 * stage_files_bytes:
            memory = tempfile.mkdtemp(prefix="edgepipe-batch-bench-", dir=MEMORY_FOLDER)
    times = {"disk": [], "memory": []}
    try:
        for _ in range(RUNS):
            for where, output in [("disk", out), ("memory", memory)]:
                if output is None:
                    continue
                forget(output)
                seconds, flushing, _ = run_flushed([program, "--batch", "--quiet", "--output", output] + [photo] * 20,
                                                   os.path.dirname(output))
                times[where].append((seconds + flushing) / 20 * 1000)
    finally:
        if memory:
            subprocess.run(["rm", "-rf", memory], check=True)
    forget(out)
    return {where: statistics.median(t) if t else None for where, t in times.items()}


def batch_table(batch, presses, lines, failures):
    """Adds the batch's table; returns how many rows were held to a target."""
    lines.append(f"Batch (edgepipe --batch --quiet, 20 pictures of {WIDTH} x {HEIGHT}, 24-bit BMP, median of {RUNS} runs)."
                 " In memory: the stage files go to a tmpfs folder, where nothing waits for a disk, as the window's"
                 " presses do not wait for it; held against LOAD + 灰階 + 濾波 + SOBEL in the window (the batch"
                 " loads each picture as LOAD does). On the disk: until the files are there (the batch flushes"
                 " before its summary, a syncfs after it finds nothing left); what it adds is the disk's.")
    lines.append("")
    lines.append("| where | per picture | LOAD + 灰階 + 濾波 + SOBEL in the window | ratio | target |")
    lines.append("|---|---:|---:|---:|---|")
    checked = 0
    window = sum(presses[p] for p in WINDOW_STEPS) if all(p in presses for p in WINDOW_STEPS) else None
    parts = " + ".join(f"{presses[p]:.1f}" for p in WINDOW_STEPS) if window else ""
    if batch["memory"] is None:
        lines.append(f"| memory | (no tmpfs folder at {MEMORY_FOLDER}) | | | |")
    elif window is None:
        lines.append(f"| memory | {batch['memory']:.1f} ms | (no presses.json from this run) | | |")
    else:
        ratio = batch["memory"] / window
        checked += 1
        if ratio > BATCH_TARGET:
            failures.append("batch in memory against the window's LOAD and presses")
        lines.append(f"| memory | {batch['memory']:.1f} ms | {window:.1f} ms ({parts}) | {ratio:.2f} | "
                     f"<= {BATCH_TARGET}: {'met' if ratio <= BATCH_TARGET else 'NOT met'} |")
    disk_ratio = f"{batch['disk'] / window:.2f}" if window else ""
    against_memory = f" ({batch['disk'] / batch['memory']:.2f} x in memory)" if batch["memory"] else ""
    lines.append(f"| the disk, until the files are there | {batch['disk']:.1f} ms | {window or 0:.1f} ms | {disk_ratio} |"
                 f" information{against_memory} |")
    lines.append("")
    return checked


def job_table(job, lines, failures):
    flushed, unflushed = job
    lines.append(f"Whole job per picture ({JOB_PICTURES} JPEG pictures of {WIDTH} x {HEIGHT}, photo-like: grey, five"
                 " medians of blue, the edges at 128, three 24-bit BMP files each; each route a process of its own,"
                 f" its start included; median of {RUNS} runs, the routes in turn). OpenCV: imread, cvtColor, five"
                 " medianBlur, Sobel and imwrite in C++ on two threads, as ours. Floor: ours decoding the picture,"
                 " writing the three files and reading back the two that 濾波 and SOBEL read, nothing computed."
                 " Each route is timed until its files are on the disk: a syncfs of its output folder after its"
                 " process is counted in its time (ours flushes before its summary and leaves that nothing to do)."
                 " Without that flush (information only; ours still flushes its own): how long each process ran.")
    lines.append("")
    lines.append("| route | per picture, on the disk (ms) | ours / route | target | without the flush (ms) |"
                 " ours / route |")
    lines.append("|---|---:|---:|---|---:|---:|")
    lines.append(f"| ours: edgepipe --batch | {flushed['ours']:.1f} |  |  | {unflushed['ours']:.1f} |  |")
    names = {"opencv": "OpenCV, the same steps", "floor": "floor of ours"}
    for route, most in JOB_TARGETS.items():
        ratio = flushed["ours"] / flushed[route]
        ok = ratio <= most
        if not ok:
            failures.append(f"whole job against {names[route]}")
        lines.append(f"| {names[route]} | {flushed[route]:.1f} | {ratio:.2f} | <= {most}: {'met' if ok else 'NOT met'} |"
                     f" {unflushed[route]:.1f} | {unflushed['ours'] / unflushed[route]:.2f} |")
    lines.append("")


def main(build, results):
    subprocess.run(["cmake", "--build", build, "--target", "edgepipe", "job_bench"], check=True,
                   stdout=subprocess.DEVNULL)
    program = os.path.join(build, "edgepipe")
    pictures_dir = os.path.join(results, "batch-pictures")
    os.makedirs(pictures_dir, exist_ok=True)
    photo, tiny = os.path.join(pictures_dir, "photo.bmp"), os.path.join(pictures_dir, "tiny.bmp")
    if not os.path.exists(photo):
        print("Making the 4000 x 3000 picture (once) ...", file=sys.stderr)
        write_bmp(photo + ".tmp", WIDTH, HEIGHT, photo_row(WIDTH, HEIGHT))
        os.replace(photo + ".tmp", photo)
    if not os.path.exists(tiny):
        write_bmp(tiny, 8, 8, lambda y: bytes(range(y, y + 24)))

    with tempfile.TemporaryDirectory(prefix="edgepipe-batch-bench-") as work:
        out = os.path.join(work, "out")
        _, base = run_batch(program, [tiny], out)
        peaks = {}
        for count in [5, 20]:
            # Each run leaves gigabytes of stage files waiting to go to the disk and in the page
            # cache; without this, the next run would pay for the last one's.
            forget(out)
            _, peaks[count] = run_batch(program, [photo] * count, out)
        forget(out)
        batch = batch_times(program, photo, out)
        job = whole_job(build, pictures_dir, photo, work)

    presses = press_medians(os.path.join(results, "presses.json"))
    picture_bytes = ((WIDTH * 3 + 3) & ~3) * HEIGHT
    limit = 4 * picture_bytes + base
    mb = 1 << 20
    lines, failures, checked = [], [], 1 + len(JOB_TARGETS)
    checked += batch_table(batch, presses, lines, failures)
    memory_ok = max(peaks.values()) <= limit and peaks[20] <= peaks[5] * 1.02
    if not memory_ok:
        failures.append("batch memory")
    lines.append(f"Peak resident memory: base (one 8 x 8 picture) {base / mb:.0f} MB; 5 pictures {peaks[5] / mb:.0f} MB; "
                 f"20 pictures {peaks[20] / mb:.0f} MB; limit 4 x {picture_bytes / mb:.1f} MB + base = {limit / mb:.0f} MB: "
                 f"{'met' if max(peaks.values()) <= limit else 'NOT met'}; "
                 f"{'does not grow' if peaks[20] <= peaks[5] * 1.02 else 'GROWS'} from 5 to 20 pictures")
    lines.append("")
    job_table(job, lines, failures)
    text = "\n".join(lines)
    print(text)
    with open(os.path.join(results, "batch.json"), "w") as f:
        json.dump({"tables": text, "checked": checked, "failures": failures}, f, ensure_ascii=False, indent=1)


if __name__ == "__main__":
    main(*sys.argv[1:3])
