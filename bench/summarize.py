#!/usr/bin/env python3
"""Turns the benchmark's raw figures into one table: each measure's median
and range over the rounds, and its ratio to the floor it is held against,
computed round by round so that a noisy round moves both sides."""
import statistics
import sys
from collections import defaultdict

MIB = 1024 * 1024

# Why each target is what it is; the table prints them beside the targets.
WHY_IMAGE_START = "the payload's pages are mapped, not read: its size must not slow the start"
WHY_WARM = ("the index holds every file's size and checksum: an up-to-date tree needs each file "
            "tested and nothing decoded")
WHY_QUICK = ("the record holds what the listing showed: an unchanged tree needs each folder listed "
             "once; the index and the record are read besides, so a little more room")
WHY_CHANGED = ("the index test finds the one file; the single pass then decodes the stream and "
               "writes that file, testing no other file again")
WHY_COLD = "a fresh tree needs the decoding and every file written, nothing more"
WHY_MEMORY_BASELINE = ("with BENCH_BASELINE_PACK: a warm launch that decodes nothing needs no more "
                       "than the one that decoded the stream")
WHY_MEMORY = "beyond the decoder's memory the launcher holds only its fixed buffers and its image"
WHY_PACK_SIZE = "the same entry stream, level and window as the zstd command line: the frame alone may differ"
WHY_PACK_TIME = "the same compressor and settings: walking the folder and its checksums may add a little"
WHY_FROM_PAYLOAD = "completing the image is one pass over the payload: little more than writing its bytes"
WHY_FROM_FOLDER = "compressing the folder is the work; completing the image adds one pass over the payload"
WHY_IMAGE = "a figure to watch, aim 256 KiB: the launcher image qarvel-pack carries and completes"
WHY_LOCK = ("a figure to watch, no target: paid once by a launch that writes, "
            "against the seconds of writing a fresh tree")
WHY_BASELINE = ("with BENCH_BASELINE_PACK: the same payload completed by an earlier "
                "qarvel-pack, in the same rounds; no target")
WHY_STUB = "a figure to watch, no target: what every download of a launcher carries besides its payload"


def read_rounds(path):
    times, memory = defaultdict(list), defaultdict(list)
    with open(path) as lines:
        for line in lines:
            fields = line.split()
            if len(fields) == 2:
                times[fields[0]].append(float(fields[1]) / 1000)
            elif len(fields) == 3:
                memory[fields[0]].append((int(fields[1]) / MIB, int(fields[2]) / MIB))
    return times, memory


def read_packing(path):
    with open(path) as lines:
        return {fields[0]: [float(value) for value in fields[1:]]
                for fields in (line.split() for line in lines)}


def spread(values, unit, digits=0):
    return (f"{statistics.median(values):,.{digits}f} {unit}",
            f"{min(values):,.{digits}f}–{max(values):,.{digits}f}")


def verdict(value, limit):
    return "yes" if value <= limit else "NO"


def main():
    results, default_window = sys.argv[1], int(sys.argv[2])
    other_window = 23 if default_window == 27 else 27
    times, memory = read_rounds(f"{results}/rounds.tsv")
    packing = read_packing(f"{results}/packing.tsv")
    rows = []

    def floor(label, name):
        rows.append((label, *spread(times[name], "ms", 1), "", "", "", ""))

    def against(label, name, floor_names, limit=None, why=""):
        ratios = [value / sum(times[f][i] for f in floor_names) for i, value in enumerate(times[name])]
        median = statistics.median(ratios)
        rows.append((label, *spread(times[name], "ms", 1),
                     f"{median:.2f} ({min(ratios):.2f}–{max(ratios):.2f})",
                     f"≤ {limit:.2f}" if limit else "", verdict(median, limit) if limit else "", why))

    floor("floor: empty executable start", "empty")
    against("launcher image start (10 MB payload) / empty start", "image", ["empty"], 1.10,
            WHY_IMAGE_START)
    baseline = "app_warm_baseline" in times
    for corpus, label in (("app", "application corpus"), ("runtime", "runtime corpus")):
        def name(case):
            return f"{corpus}_{case}"

        floor(f"{label}: floor: start a child and wait", name("child_floor"))
        floor(f"{label}: floor: decompress the payload", name("decompress_floor"))
        floor(f"{label}: floor: map and CRC-32 every file", name("crc_floor"))
        floor(f"{label}: floor: list every folder once", name("list_floor"))
        floor(f"{label}: floor: write every file of a fresh tree", name("write_floor"))
        floor(f"{label}: floor: write the changed file", name("write_one_floor"))
        against(f"{label}: warm launch / (child + map-and-CRC)", name("warm"),
                [name("child_floor"), name("crc_floor")], 1.10, WHY_WARM)
        against(f"{label}: warm launch, quick check / (child + list every folder)",
                name("warm_quick"), [name("child_floor"), name("list_floor")], 1.20, WHY_QUICK)
        against(f"{label}: cold launch / (child + decompress + write)", name("cold"),
                [name("cold_child_floor"), name("cold_decompress_floor"), name("write_floor")],
                1.10, WHY_COLD)
        against(f"{label}: one file changed / (child + map-and-CRC + decompress + write it)",
                name("changed"), [name("child_floor"), name("crc_floor"), name("decompress_floor"),
                                  name("write_one_floor")], 1.10, WHY_CHANGED)
        if baseline:
            for case, what in (("warm", "warm launch"), ("warm_quick", "warm launch, quick check"),
                               ("cold", "cold launch"), ("changed", "one file changed")):
                base = "warm" if case == "warm_quick" else case
                against(f"{label}: {what} / baseline's {base.replace('_', ' ')} launch",
                        name(case), [name(f"{base}_baseline")], why=WHY_BASELINE)
    against(f"application corpus: decompress, window 2^{other_window} / 2^{default_window}",
            "decompress_other", ["app_decompress_floor"])
    # The reported figures are microseconds per take and release.
    for label, name in (("cache lock, lock file (now): take and release", "lock_file"),
                        ("cache lock, named mutex (before): take and release", "lock_mutex")):
        rows.append((label, *spread([value * 1000 for value in times[name]], "µs"), "", "", "", ""))
    lock_ratios = [f / m for f, m in zip(times["lock_file"], times["lock_mutex"])]
    cold_shares = [f / c * 100 for f, c in zip(times["lock_file"], times["app_cold"])]
    rows.append(("cache lock: lock file / named mutex", "", "",
                 f"{statistics.median(lock_ratios):.1f} ({min(lock_ratios):.1f}–{max(lock_ratios):.1f})",
                 "", "", ""))
    rows.append(("cache lock: lock file / cold launch", "", "",
                 f"{statistics.median(cold_shares):.3f}% ({min(cold_shares):.3f}–{max(cold_shares):.3f}%)",
                 "", "", WHY_LOCK))

    def peak(name):
        return max(w for w, _ in memory[name]), max(c for _, c in memory[name])

    for corpus, label in (("app", "application corpus"), ("runtime", "runtime corpus")):
        floor_ws, floor_commit = peak(f"memory_{corpus}_decompress_floor")
        cases = [("cold launch", "cold"), ("warm launch", "warm"), ("warm launch, quick check", "warm_quick")]
        for what, case in cases:
            ws, commit = peak(f"memory_{corpus}_{case}")
            limit = case == "cold"
            rows.append((f"{label}: peak committed: {what} vs decompress floor", f"{commit:.1f} MiB",
                         f"floor {floor_commit:.1f}", f"{commit - floor_commit:+.1f} MiB",
                         "≤ +4.0 MiB" if limit else "", verdict(commit - floor_commit, 4.0) if limit else "",
                         WHY_MEMORY if limit else ""))
            rows.append((f"{label}: peak working set: {what}", f"{ws:.1f} MiB", f"floor {floor_ws:.1f}",
                         f"{ws - floor_ws:+.1f} MiB", "", "", ""))
        if f"memory_{corpus}_warm_baseline" in memory:
            base_ws, base_commit = peak(f"memory_{corpus}_warm_baseline")
            for what, case in cases[1:]:
                ws, commit = peak(f"memory_{corpus}_{case}")
                rows.append((f"{label}: peak committed: {what} vs baseline's warm launch",
                             f"{commit:.1f} MiB", f"baseline {base_commit:.1f}",
                             f"{commit - base_commit:+.1f} MiB", "≤ +1.0 MiB",
                             verdict(commit - base_commit, 1.0), WHY_MEMORY_BASELINE))
    floor_ws, floor_commit = peak("memory_app_decompress_floor")
    ws, commit = peak("memory_decompress_other")
    rows.append((f"application corpus: peak committed: decompress floor, window 2^{other_window}",
                 f"{commit:.1f} MiB", f"floor {floor_commit:.1f}", f"{commit - floor_commit:+.1f} MiB",
                 "", "", ""))

    content, files = packing["content"]
    for window in (default_window, other_window):
        pack_seconds, pack_bytes = packing[f"pack_w{window}"]
        zstd_seconds, zstd_bytes = packing[f"zstd_w{window}"]
        rows.append((f"packer size, window 2^{window} / zstd CLI", f"{pack_bytes:,.0f} B",
                     f"{content / pack_bytes:.2f}:1", f"{pack_bytes / zstd_bytes:.4f}", "≤ 1.005",
                     verdict(pack_bytes / zstd_bytes, 1.005), WHY_PACK_SIZE))
        rows.append((f"packer time, window 2^{window} / zstd CLI", f"{pack_seconds:.1f} s",
                     f"zstd {zstd_seconds:.1f} s", f"{pack_seconds / zstd_seconds:.2f}", "≤ 1.10",
                     verdict(pack_seconds / zstd_seconds, 1.10), WHY_PACK_TIME))
    launcher_seconds, copy_seconds, launcher_bytes = packing["launcher_from_payload"]
    rows.append(("qarvel-pack launcher --payload / copying its output", f"{launcher_seconds:.2f} s",
                 f"copy {copy_seconds:.2f} s of {launcher_bytes / MIB:.1f} MiB",
                 f"{launcher_seconds / copy_seconds:.2f}", "≤ 2", verdict(launcher_seconds / copy_seconds, 2.0),
                 WHY_FROM_PAYLOAD))
    folder_seconds, create_seconds = packing["launcher_from_folder"]
    rows.append(("qarvel-pack launcher DIR / qarvel-pack create DIR", f"{folder_seconds:.1f} s",
                 f"create {create_seconds:.1f} s", f"{folder_seconds / create_seconds:.3f}", "≤ 1.05",
                 verdict(folder_seconds / create_seconds, 1.05), WHY_FROM_FOLDER))
    image_bytes = packing["image"][0]
    rows.append(("launcher image carried by qarvel-pack", f"{image_bytes:,.0f} B",
                 f"{image_bytes / 1024:.0f} KiB", "", "", "", WHY_IMAGE))
    stub, code, resources = packing["stub"]
    rows.append(("launcher around the empty program", f"{stub:,.0f} B",
                 f"code {code / 1024:.0f} KiB, resources {resources / 1024:.0f} KiB", "", "", "", WHY_STUB))

    runtime_content, runtime_files, runtime_payload = packing["runtime_content"]
    print(f"\napplication corpus: entry stream {content:,.0f} bytes, {files:.0f} files; "
          f"runtime corpus: content {runtime_content:,.0f} bytes, {runtime_files:.0f} files, "
          f"payload {runtime_payload:,.0f} bytes ({runtime_content / runtime_payload:.2f}:1); "
          f"changed file {packing['app_changed_file'][0]:,.0f} and "
          f"{packing['runtime_changed_file'][0]:,.0f} bytes")
    print(f"{len(times['app_warm'])} rounds; times in ms are medians with their range\n")
    header = ("measure", "median", "range", "ratio (range)", "target", "met", "why this target")
    print("| " + " | ".join(header) + " |")
    print("|" + "|".join("---" for _ in header) + "|")
    for row in rows:
        print("| " + " | ".join(row) + " |")

    missed = [row[0] for row in rows if row[5] == "NO"]
    for label in missed:
        print(f"bench: target missed: {label}", file=sys.stderr)
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
