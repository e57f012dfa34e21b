#!/usr/bin/env python3
"""Runs Morvaleth's benchmarks and prints a table of what was measured.

    bench/run-bench.py BUILD_DIR [--repetitions N] [--runs N]

BUILD_DIR is a Release build with MORVALETH_BUILD_BENCH=ON (`make bench`
makes one). Every figure stands beside a baseline measured in the same run,
and the ratio between the two is what the targets are about: absolute times
on a shared machine mean little. Times are medians: of the Google Benchmark
repetitions (interleaved at random) for the benchmark programs, and of
--runs runs of each whole process, which alternate with their baselines.
"""

import argparse
import glob
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

MiB = 1024 * 1024
HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.dirname(HERE)


class Row:
    def __init__(self, figure, ours, baseline, ratio, target="", met=None, note=""):
        self.figure = figure
        self.ours = ours
        self.baseline = baseline
        self.ratio = ratio
        self.target = target
        self.met = met
        self.note = note


def milliseconds(value):
    if value < 1:
        return f"{value:.3f} ms"
    return f"{value:.1f} ms" if value < 100 else f"{value:.0f} ms"


def mebibytes(value):
    return f"{value / MiB:.1f} MiB"


# ---- Google Benchmark programs ---------------------------------------------

def run_benchmarks(program, folder, repetitions, extra=()):
    out = os.path.join(folder, os.path.basename(program) + ".json")
    command = [program,
               f"--benchmark_repetitions={repetitions}",
               "--benchmark_enable_random_interleaving=true",
               "--benchmark_report_aggregates_only=true",
               f"--benchmark_out={out}",
               "--benchmark_out_format=json", *extra]
    print("$ " + " ".join(command[:1] + command[1:3]), flush=True)
    subprocess.run(command, check=True)
    with open(out) as file:
        report = json.load(file)
    medians = {}
    for benchmark in report["benchmarks"]:
        if benchmark.get("aggregate_name") == "median":
            medians[benchmark["run_name"]] = benchmark
    return medians


def cpu_ms(benchmark):
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[benchmark["time_unit"]]
    return benchmark["cpu_time"] * scale


def speed_row(figure, medians, ours, baseline, target):
    """A row for a time against its baseline: the ratio is the speed, the
    baseline's time over ours (1 is as fast as the baseline)."""
    if ours not in medians or baseline not in medians:
        return Row(figure, "-", "-", "-", f">= {target}" if target else "", None, "not measured")
    ours_ms = cpu_ms(medians[ours])
    baseline_ms = cpu_ms(medians[baseline])
    ratio = baseline_ms / ours_ms
    return Row(figure, milliseconds(ours_ms), milliseconds(baseline_ms), f"{ratio:.2f}",
               f">= {target}" if target else "", ratio >= target if target else None)


# ---- Whole processes --------------------------------------------------------

def run_process(argv):
    """Runs a program to its end; returns its CPU seconds (user + system)."""
    actions = [(os.POSIX_SPAWN_OPEN, 0, "/dev/null", os.O_RDONLY, 0),
               (os.POSIX_SPAWN_OPEN, 1, "/dev/null", os.O_WRONLY, 0)]
    pid = os.posix_spawn(argv[0], argv, os.environ, file_actions=actions)
    _, status, usage = os.wait4(pid, 0)
    if not os.WIFEXITED(status) or os.WEXITSTATUS(status) != 0:
        raise RuntimeError("failed: " + " ".join(argv))
    return usage.ru_utime + usage.ru_stime


def run_process_wall(argv):
    """Runs a program to its end; returns its wall-clock seconds."""
    actions = [(os.POSIX_SPAWN_OPEN, 0, "/dev/null", os.O_RDONLY, 0),
               (os.POSIX_SPAWN_OPEN, 1, "/dev/null", os.O_WRONLY, 0)]
    start = time.monotonic()
    pid = os.posix_spawn(argv[0], argv, os.environ, file_actions=actions)
    _, status, _ = os.wait4(pid, 0)
    elapsed = time.monotonic() - start
    if not os.WIFEXITED(status) or os.WEXITSTATUS(status) != 0:
        raise RuntimeError("failed: " + " ".join(argv))
    return elapsed


def median_wall_times(commands, runs):
    """As median_times, in wall-clock milliseconds: what threads save shows
    there, not in CPU time."""
    times = [[] for _ in commands]
    for _ in range(runs):
        for i, command in enumerate(commands):
            times[i].append(run_process_wall(command))
    return [statistics.median(t) * 1000 for t in times]


def fresh_touch_ms(bench_picture, runs):
    """The median time a fresh process takes to make a 4000 x 4000 picture's
    memory white, on huge pages and on 4 KiB pages, alternating."""
    times = {"huge": [], "small": []}
    for _ in range(runs):
        for kind in times:
            out = subprocess.run([bench_picture, f"--touch-fresh={kind}"], check=True, capture_output=True,
                                 text=True).stdout
            times[kind].append(float(out.split()[-1]))
    return statistics.median(times["huge"]), statistics.median(times["small"])


def cpu_busy_share(seconds=1.0):
    """How busy the machine's cores were over a second, from /proc/stat:
    what else was running while the thread figures were taken."""
    def sample():
        with open("/proc/stat") as file:
            values = [int(v) for v in file.readline().split()[1:]]
        idle = values[3] + values[4]
        return idle, sum(values)
    idle0, total0 = sample()
    time.sleep(seconds)
    idle1, total1 = sample()
    return 1 - (idle1 - idle0) / max(total1 - total0, 1)


def median_times(commands, runs):
    """Runs the commands in turn, `runs` rounds; the median CPU time of each."""
    times = [[] for _ in commands]
    for _ in range(runs):
        for i, command in enumerate(commands):
            times[i].append(run_process(command))
    return [statistics.median(t) * 1000 for t in times]


def peak_memory(command, folder, runs):
    """The median peak resident memory of a program's runs, in bytes.

    /usr/bin/time reports it: a child started straight from this script
    would be charged the script's own memory, which it shares until exec."""
    report = os.path.join(folder, "time.txt")
    peaks = []
    for _ in range(runs):
        subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report, *command], check=True,
                       stdout=subprocess.DEVNULL)
        with open(report) as file:
            peaks.append(int(file.read().split()[-1]) * 1024)
    return statistics.median(peaks)


def cancel_latencies(bench_cancel, text, writing, delay_ms, runs):
    """Stops a 6000 x 6000 real-mode run in the window `delay_ms` after its
    click, in `runs` fresh processes: the milliseconds until the window was
    back, for each process's first run and its second. Runs that ended before
    the key are left out."""
    environment = dict(os.environ)
    environment.setdefault("QT_QPA_PLATFORM", "offscreen")
    first, second = [], []
    for _ in range(runs):
        out = subprocess.run([bench_cancel, text, writing, str(delay_ms), "6000", "6000"], check=True,
                             capture_output=True, text=True, env=environment).stdout
        for line in out.splitlines():
            which, value = line.split()
            if value != "finished":
                (first if which == "first" else second).append(float(value))
    return first, second


def picture_bytes(width, height):
    return (width * 24 + 31) // 32 * 4 * height


def write_one_line_source(path, size):
    """A Shift-JIS text of `size` bytes without a single line end."""
    with open(os.path.join(SOURCE_DIR, "examples", "letter-sjis.txt"), "rb") as file:
        chunk = file.read().replace(b"\r", b"").replace(b"\n", b"")
    block = chunk * (4 * MiB // len(chunk))
    with open(path, "wb") as file:
        written = 0
        while written < size:
            piece = block[:size - written]
            file.write(piece)
            written += len(piece)


def strace_counts(compose, arguments, folder, name):
    """The system calls of a run, and how often it opened a font file."""
    summary = os.path.join(folder, name + ".strace")
    trace = os.path.join(folder, name + ".opens")
    subprocess.run(["strace", "-f", "-qq", "-c", "-o", summary, compose, *arguments],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["strace", "-f", "-qq", "-e", "trace=open,openat", "-o", trace, compose, *arguments],
                   check=True, stdout=subprocess.DEVNULL)
    calls = None
    with open(summary) as file:
        for line in file:
            parts = line.split()
            if parts and parts[-1] == "total":
                calls = int(parts[3])
    with open(trace) as file:
        font_opens = sum(1 for line in file if re.search(r'\.(ttf|otf|ttc)"', line))
    return calls, font_opens


# ---- The table --------------------------------------------------------------

def callgrind_instructions(command, folder, name):
    """The instructions each thread of the command executed, by callgrind."""
    prefix = os.path.join(folder, "callgrind." + name)
    subprocess.run(["valgrind", "--tool=callgrind", "--separate-threads=yes",
                    f"--callgrind-out-file={prefix}.%p"] + command,
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    counts = []
    for path in sorted(glob.glob(prefix + ".*")):
        with open(path) as profile:
            for line in profile:
                if line.startswith(("summary:", "totals:")):
                    counts.append(int(line.split()[1]))
                    break
        os.remove(path)
    return counts


def print_table(rows):
    headers = ("figure", "ours", "baseline", "ratio", "target", "")
    cells = [(r.figure, r.ours, r.baseline, r.ratio, r.target,
              r.note if r.met is None else ("met" if r.met else "NOT MET")) for r in rows]
    widths = [max(len(headers[i]), *(len(c[i]) for c in cells)) for i in range(len(headers))]

    def line(values):
        return "| " + " | ".join(v.ljust(w) for v, w in zip(values, widths)) + " |"

    print()
    print(line(headers))
    print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
    for c in cells:
        print(line(c))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build_dir")
    parser.add_argument("--repetitions", type=int, default=5,
                        help="repetitions of each Google Benchmark (default 5)")
    parser.add_argument("--runs", type=int, default=9,
                        help="runs of each whole process (default 9)")
    arguments = parser.parse_args()

    bin_dir = os.path.join(arguments.build_dir, "bin")
    compose = os.path.join(bin_dir, "morvaleth-compose")
    bench_compose = os.path.join(bin_dir, "morvaleth-bench-compose")
    bench_picture = os.path.join(bin_dir, "morvaleth-bench-picture")
    for program in (compose, bench_compose, bench_picture):
        if not os.access(program, os.X_OK):
            sys.exit(f"run-bench: {program} is missing; build with -DMORVALETH_BUILD_BENCH=ON")

    rows = []
    with tempfile.TemporaryDirectory(prefix="morvaleth-bench-") as folder:
        # -- Composition against bare FreeType, allocations, culling.
        medians = run_benchmarks(bench_compose, folder, arguments.repetitions)
        rows.append(speed_row("composition, plain mode (30,000 units, 4000 x 4000) vs bare FreeType",
                              medians, "compose/plain", "bare_freetype/plain", 0.8))
        rows.append(speed_row("composition, real mode (30,000 units, 4000 x 4000) vs bare FreeType",
                              medians, "compose/real", "bare_freetype/real", 0.7))
        if "bare_freetype/plain" in medians:
            differing = medians["bare_freetype/plain"]["differing_bytes"]
            rows.append(Row("bytes of the plain-mode picture that differ from the baseline's buffer",
                            f"{differing:.0f}", "", "", "0 (same work)", differing == 0))
        if "compose/plain" in medians and "compose/plain/3000_units" in medians:
            many = medians["compose/plain"]["allocations"]
            few = medians["compose/plain/3000_units"]["allocations"]
            per_unit = (many - few) / 27000
            rows.append(Row("allocations in a run, 30,000 units vs 3,000 units", f"{many:.0f}", f"{few:.0f}",
                            f"{per_unit:+.3f}/unit", "0/unit", per_unit <= 0))
        rows.append(speed_row("glyphs of the 30,000-unit run drawn, outlines cached vs loaded by FreeType each time",
                              medians, "glyphs/cached", "glyphs/each_use", 1.0))
        for name, figure in (("off_picture_stamps", "1000 stamps wholly off the picture, culling vs none"),
                             ("long_line", "a long line on 640 x 480 (84 of 672 stamps off), culling vs none")):
            row = speed_row(figure, medians, name + "/culling", name + "/no_culling", None)
            row.note = "(no target)"
            rows.append(row)

        # -- The picture.
        medians = run_benchmarks(bench_picture, folder, arguments.repetitions)
        rows.append(speed_row("BMP encoding (4000 x 4000) vs memcpy of the same bytes",
                              medians, "bmp/encode", "bmp/memcpy", 0.5))
        rows.append(speed_row("picture creation (4000 x 4000) vs memset of its bytes",
                              medians, "picture/create", "picture/memset", 0.5))
        row = speed_row("picture creation (4000 x 4000) vs malloc + memset of fresh memory",
                        medians, "picture/create", "picture/malloc_memset", None)
        row.note = "(no target)"
        rows.append(row)

        # -- The preview: one scroll step's paint on a 20000 x 20000 picture
        # against a 640 x 480-sized one (the window's own benchmark).
        bench_preview = os.path.join(bin_dir, "morvaleth-bench-preview")
        if os.access(bench_preview, os.X_OK):
            medians = run_benchmarks(bench_preview, folder, arguments.repetitions,
                                     ["--benchmark_filter=/(640|20000)$"])
            for step in ("HorizontalStep", "VerticalStep"):
                direction = "horizontal" if step.startswith("H") else "vertical"
                rows.append(speed_row(f"preview paint, one {direction} scroll step, 20000 x 20000 vs 640 x 640",
                                      medians, f"{step}/20000", f"{step}/640", 0.5))
            # The whole picture fitted into a 1280 x 960 window, repainted as
            # when the window is uncovered: against one frame at 60 Hz, which
            # it should stay well under.
            frame_ms = 1000 / 60
            fitted = medians.get("FittedRepaint/20000")
            if fitted is not None:
                # Wall time: Qt may scale on threads of its own.
                fitted_ms = cpu_ms(dict(fitted, cpu_time=fitted["real_time"]))
                ratio = frame_ms / fitted_ms
                rows.append(Row("preview repaint (wall), 20000 x 20000 fitted in a 1280 x 960 window vs a frame",
                                milliseconds(fitted_ms), milliseconds(frame_ms), f"{ratio:.1f}", ">= 4",
                                ratio >= 4))
        else:
            rows.append(Row("preview paint, one scroll step, 20000 x 20000 vs 640 x 640", "-", "-", "-", ">= 0.5",
                            None, "not measured: no window in this build"))

        # -- Whole processes.
        print("whole processes ...", flush=True)
        long_text = os.path.join(folder, "long.txt")
        subprocess.run([bench_compose, f"--write-text={long_text}"], check=True)
        empty = os.path.join(folder, "empty.txt")
        open(empty, "wb").close()
        one_unit = os.path.join(folder, "one.txt")
        with open(one_unit, "wb") as file:
            file.write("拝".encode("cp932"))
        letter = os.path.join(SOURCE_DIR, "examples", "letter-utf8.txt")
        out = os.path.join(folder, "out.bmp")
        letter_ms, one_ms, empty_ms = median_times(
            [[compose, letter, "-o", out], [compose, one_unit, "-o", out], [compose, empty, "-o", out]],
            arguments.runs)
        rows.append(Row("process, 640 x 480 from the example letter vs from an empty text",
                        milliseconds(letter_ms), milliseconds(empty_ms), f"{empty_ms / letter_ms:.2f}",
                        "", None, "(no target)"))
        rows.append(Row("process, one character vs an empty text (font lookup)",
                        milliseconds(one_ms), milliseconds(empty_ms), f"{empty_ms / one_ms:.2f}",
                        "", None, "(no target)"))

        # -- The pipeline against the single-pass engine it replaced (built
        # from the last single-pass commit into BUILD_DIR/baseline), and
        # against itself on one thread. Wall-clock time: threads show there.
        baseline = os.path.join(arguments.build_dir, "baseline", "bin", "morvaleth-compose")
        job = [long_text, "-W", "4000", "-H", "4000", "-s", "20", "--real", "--seed", "5"]
        bmp_a = os.path.join(folder, "a.bmp")
        bmp_b = os.path.join(folder, "b.bmp")
        busy = cpu_busy_share()
        if os.access(baseline, os.X_OK):
            ours_ms, one_ms, two_ms, base_ms = median_wall_times(
                [[compose, *job, "-o", bmp_a], [compose, *job, "--threads", "1", "-o", bmp_a],
                 [compose, *job, "--threads", "2", "-o", bmp_a], [baseline, *job, "-o", bmp_b]],
                arguments.runs)
            with open(bmp_a, "rb") as a, open(bmp_b, "rb") as b:
                same = a.read() == b.read()
            rows.append(Row("process, 4000 x 4000 real mode to a BMP file vs the single-pass engine",
                            milliseconds(ours_ms), milliseconds(base_ms), f"{base_ms / ours_ms:.2f}", ">= 2",
                            base_ms / ours_ms >= 2))
            rows.append(Row("process, the same on one thread vs the single-pass engine",
                            milliseconds(one_ms), milliseconds(base_ms), f"{base_ms / one_ms:.2f}", ">= 1",
                            base_ms / one_ms >= 1))
            rows.append(Row("the same picture's bytes as the single-pass engine's", "same" if same else "DIFFER",
                            "", "", "same", same))
        else:
            one_ms, two_ms = median_wall_times(
                [[compose, *job, "--threads", "1", "-o", bmp_a], [compose, *job, "--threads", "2", "-o", bmp_a]],
                arguments.runs)
            rows.append(Row("process vs the single-pass engine", "-", "-", "-", ">= 2", None,
                            f"not measured: no {baseline}"))
        rows.append(Row("process, 4000 x 4000 real mode, --threads 2 vs --threads 1",
                        milliseconds(two_ms), milliseconds(one_ms), f"{one_ms / two_ms:.2f}", ">= 1.8",
                        one_ms / two_ms >= 1.8, ""))
        rows[-1].note = f"cores {busy:.0%} busy before" if one_ms / two_ms < 1.8 else ""
        for path in (bmp_a, bmp_b):
            if os.path.exists(path):
                os.remove(path)

        # -- The same work counted in instructions, which the other engineers'
        # builds on this machine do not disturb.
        if shutil.which("valgrind"):
            counts = {}
            for name, program, extra in (("one", compose, ["--threads", "1"]), ("two", compose, ["--threads", "2"]),
                                         ("baseline", baseline, [])):
                if os.access(program, os.X_OK):
                    counts[name] = callgrind_instructions([program, *job, *extra, "-o", bmp_a], folder, name)
            if "baseline" in counts:
                rows.append(Row("instructions (callgrind), 4000 x 4000 real mode, --threads 1 vs the single-pass engine",
                                f"{sum(counts['one']) / 1e9:.2f} G", f"{sum(counts['baseline']) / 1e9:.2f} G",
                                f"{sum(counts['baseline']) / sum(counts['one']):.2f}", ">= 1",
                                sum(counts["baseline"]) >= sum(counts["one"])))
            one, two = sum(counts["one"]), sum(counts["two"])
            rows.append(Row("instructions (callgrind), the same, all threads of --threads 2 vs --threads 1",
                            f"{two / 1e9:.2f} G", f"{one / 1e9:.2f} G", f"{one / two:.2f}", "", None,
                            "(the work the split adds)"))
            busiest = max(counts["two"])
            rows.append(Row("instructions (callgrind), busiest thread of --threads 2 vs all of --threads 1",
                            f"{busiest / 1e9:.2f} G", f"{one / 1e9:.2f} G", f"{one / busiest:.2f}", ">= 1.8",
                            one / busiest >= 1.8, "(the speed-up two idle cores would give)"))
            if os.path.exists(bmp_a):
                os.remove(bmp_a)
        else:
            rows.append(Row("instructions (callgrind)", "-", "-", "-", "", None, "valgrind is not installed"))

        huge_ms, small_ms = fresh_touch_ms(bench_picture, arguments.runs)
        rows.append(Row("fresh process: a 4000 x 4000 picture's memory made white, huge pages vs 4 KiB",
                        milliseconds(huge_ms), milliseconds(small_ms), f"{small_ms / huge_ms:.2f}", "",
                        None, "(the window's pictures use the faster)"))

        # -- Peak memory of streamed pictures, written to real files.
        for width, limit, extension in ((10000, 40, "bmp"), (26754, 48, "bmp"), (20000, 64, "png")):
            out_file = os.path.join(folder, "big." + extension)
            rss = peak_memory([compose, long_text, "-W", str(width), "-H", str(width), "--real", "-o", out_file],
                              folder, 1)
            os.remove(out_file)
            rows.append(Row(f"peak RSS, {width} x {width} {extension.upper()} file from the 30,000-unit text",
                            mebibytes(rss), mebibytes(picture_bytes(width, width)), "", f"<= {limit} MiB",
                            rss <= limit * MiB))

        # -- The 20000 x 20000 PNG job's memory whatever the threads asked
        # for: the bands in memory are bounded, not the threads.
        out_file = os.path.join(folder, "big.png")
        for threads in (1, 2, 32, 256):
            rss = peak_memory([compose, long_text, "-W", "20000", "-H", "20000", "--real", "--threads",
                               str(threads), "-o", out_file], folder, 1)
            rows.append(Row(f"peak RSS, 20000 x 20000 PNG file from the 30,000-unit text, --threads {threads}",
                            mebibytes(rss), "", "", "<= 64 MiB", rss <= 64 * MiB))
        os.remove(out_file)

        # -- Cancel: the window back within 200 ms of Esc at any moment of a
        # run, the first of a fresh process (which loads the font
        # configuration) included, in rows and in columns.
        bench_cancel = os.path.join(bin_dir, "morvaleth-bench-cancel")
        if os.access(bench_cancel, os.X_OK):
            for writing in ("rows", "columns"):
                for delay_ms in (0, 300, 1000):
                    first, second = cancel_latencies(bench_cancel, long_text, writing, delay_ms, arguments.runs)
                    if not first:
                        continue
                    worst = max(first + second)
                    rows.append(Row(f"cancel in the window, {writing}, Esc {delay_ms} ms into a 6000 x 6000 run: "
                                    "first run of a process (median, worst) vs the second",
                                    f"{statistics.median(first):.0f}, {max(first):.0f} ms",
                                    f"{statistics.median(second):.0f} ms" if second else "-", "",
                                    "<= 200 ms", worst <= 200))
        else:
            rows.append(Row("cancel in the window", "-", "-", "-", "<= 200 ms", None,
                            "not measured: no window in this build"))

        # -- Columns and mixed faces: the 4000 x 4000 real-mode job from the
        # 30,000-unit text, written to a BMP file, against the same job
        # without them.
        job = [compose, long_text, "-W", "4000", "-H", "4000", "--real", "--seed", "1", "-o", out]
        default_ms, vertical_ms, mixed_ms, both_ms = median_wall_times(
            [job, job + ["--vertical"], job + ["--mix-faces"], job + ["--mix-faces", "--vertical"]],
            arguments.runs)
        for figure, ours_ms in (("--vertical", vertical_ms), ("--mix-faces", mixed_ms),
                                ("--mix-faces --vertical", both_ms)):
            ratio = ours_ms / default_ms
            rows.append(Row(f"process, 4000 x 4000 real mode, {figure} vs the default job",
                            milliseconds(ours_ms), milliseconds(default_ms), f"{ratio:.2f}x", "<= 1.3x",
                            ratio <= 1.3))

        # -- Looks: the same job with every look on against the default job,
        # to a BMP file (colour, paper, torn scraps, shadows) and to a PNG
        # file (the same on a transparent page: RGBA against grey).
        looks = ["--palette", "magazine", "--torn", "--shadow"]
        png_job = job[:-1] + [os.path.join(folder, "looks.png")]
        default_bmp_ms, looks_bmp_ms, default_png_ms, looks_png_ms = median_wall_times(
            [job, job + looks + ["--background", "beige"], png_job, png_job + looks + ["--background", "transparent"]],
            arguments.runs)
        ratio = looks_bmp_ms / default_bmp_ms
        rows.append(Row("process, 4000 x 4000 real mode, every look on, to BMP vs the default job",
                        milliseconds(looks_bmp_ms), milliseconds(default_bmp_ms), f"{ratio:.2f}x", "<= 1.5x",
                        ratio <= 1.5))
        # The PNG has four bytes a pixel to compress against the grey one's
        # one: shown, without a target.
        ratio = looks_png_ms / default_png_ms
        rows.append(Row("process, 4000 x 4000 real mode, every look on, transparent, to PNG (RGBA) vs the default "
                        "job's PNG (grey)", milliseconds(looks_png_ms), milliseconds(default_png_ms), f"{ratio:.2f}x",
                        "", None, "RGBA against grey"))
        os.remove(png_job[-1])

        # -- PNG against BMP: the same job into each, and the PNG file against
        # the one the single-pass engine wrote through libpng (8-bit RGB, its
        # default compression and filters).
        png_out = os.path.join(folder, "out.png")
        bmp_job_ms, png_job_ms = median_wall_times([job, job[:-1] + [png_out]], arguments.runs)
        ratio = png_job_ms / bmp_job_ms
        rows.append(Row("process, 4000 x 4000 real mode, to a PNG file vs to a BMP file",
                        milliseconds(png_job_ms), milliseconds(bmp_job_ms), f"{ratio:.2f}x", "<= 1.3x",
                        ratio <= 1.3))
        if os.access(baseline, os.X_OK):
            baseline_png = os.path.join(folder, "baseline.png")
            subprocess.run([baseline, long_text, "-W", "4000", "-H", "4000", "--real", "--seed", "1", "-o",
                            baseline_png], check=True)
            ours, theirs = os.path.getsize(png_out), os.path.getsize(baseline_png)
            rows.append(Row("PNG file of that job vs the single-pass engine's (libpng, RGB)",
                            f"{ours / MiB:.2f} MiB", f"{theirs / MiB:.2f} MiB", f"{ours / theirs:.2f}x",
                            "<= 0.6x", ours / theirs <= 0.6))
            os.remove(baseline_png)
        os.remove(png_out)
        # -- The same job drawn as vector outlines, against its PNG: a PDF or
        # SVG is written stamp by stamp, so its time and memory stay near the
        # PNG's whatever the letter's length.
        job = [compose, long_text, "-W", "4000", "-H", "4000", "--real", "--seed", "1"]
        files = {extension: os.path.join(folder, "job." + extension) for extension in ("png", "pdf", "svg")}
        times = dict(zip(files, median_wall_times([job + ["-o", path] for path in files.values()], arguments.runs)))
        peaks = {extension: peak_memory(job + ["-o", path], folder, 3) for extension, path in files.items()}
        sizes = {extension: os.path.getsize(path) for extension, path in files.items()}
        for extension in ("pdf", "svg"):
            name = extension.upper()
            ratio = times[extension] / times["png"]
            rows.append(Row(f"process, 4000 x 4000 real mode, 30,000 units, to {name} vs to PNG (wall)",
                            milliseconds(times[extension]), milliseconds(times["png"]), f"{ratio:.2f}x",
                            "<= 1.5x", ratio <= 1.5))
            ratio = peaks[extension] / peaks["png"]
            rows.append(Row(f"peak RSS, the same job to {name} vs to PNG", mebibytes(peaks[extension]),
                            mebibytes(peaks["png"]), f"{ratio:.2f}x", "<= 1.5x", ratio <= 1.5))
            rows.append(Row(f"file size, the same job as {name} vs as PNG", mebibytes(sizes[extension]),
                            mebibytes(sizes["png"]), f"{sizes[extension] / sizes['png']:.2f}x", "", None,
                            "(no target)"))
        for path in files.values():
            os.remove(path)

        # -- Peak memory. The pictures go to /dev/null: a device takes the
        # BMP bytes in order, so the picture is held whole.
        big = picture_bytes(10000, 10000)
        rss = peak_memory([compose, long_text, "-W", "10000", "-H", "10000", "-o", "/dev/null"], folder, 3)
        rows.append(Row("peak RSS, 10000 x 10000 to /dev/null (held whole) vs the picture's bytes",
                        mebibytes(rss), mebibytes(big), f"{(rss - big) / MiB:+.1f} MiB", "<= +40 MiB",
                        rss - big <= 40 * MiB))
        huge_source = os.path.join(folder, "one-line.txt")
        write_one_line_source(huge_source, 200 * 1000 * 1000)
        small = picture_bytes(640, 480)
        rss = peak_memory([compose, huge_source, "-o", "/dev/null"], folder, 3)
        os.remove(huge_source)
        rows.append(Row("peak RSS, 640 x 480 from a 200 MB one-line text vs the picture's bytes",
                        mebibytes(rss), mebibytes(small), f"{(rss - small) / MiB:+.1f} MiB", "<= +64 MiB",
                        rss - small <= 64 * MiB))

        # -- System calls and face opens, by strace.
        if shutil.which("strace"):
            short_text = os.path.join(folder, "short.txt")
            with open(long_text, "rb") as source, open(short_text, "wb") as target:
                target.write(b"\r\n".join(source.read().split(b"\r\n")[:3]) + b"\r\n")
            size = ["-W", "4000", "-H", "4000", "-o", "/dev/null"]
            try:
                many_calls, many_opens = strace_counts(compose, [long_text, *size], folder, "many")
                few_calls, _ = strace_counts(compose, [short_text, *size], folder, "few")
                per_unit = (many_calls - few_calls) / 27000
                rows.append(Row("system calls in a run of Shift-JIS text, 30,000 units vs 3,000", str(many_calls),
                                str(few_calls), f"{per_unit:+.3f}/unit", "~0/unit", per_unit < 0.01))
                # One for the plan's measures, one for each render thread.
                threads = os.cpu_count() or 1
                rows.append(Row("font file opens in a 30,000-unit run", str(many_opens), "", "",
                                f"1 + {threads} threads", many_opens <= 1 + threads))
            except (subprocess.CalledProcessError, TypeError):
                rows.append(Row("system calls in a run", "-", "-", "-", "", None, "strace could not trace"))
        else:
            rows.append(Row("system calls in a run", "-", "-", "-", "", None, "strace is not installed"))

    print_table(rows)
    print(f"\nmedians of {arguments.repetitions} repetitions (benchmarks) and {arguments.runs} runs"
          " (processes); times are CPU time; ratio = baseline time / our time")


if __name__ == "__main__":
    main()
