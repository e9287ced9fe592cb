#!/usr/bin/env python3
"""The harness of whole runs: export and import of a generated district at
each scale S, against the least that the same file work takes, and against
peers when they are installed. Started by bench/run.sh, which builds first.

For each S it generates the district (bench/make_district), then measures:
- export and import of transtempexorve-cli: wall time (best of 3) and peak
  memory (maximum resident set);
- the limit: bench/io_limit reading the same input files and writing the same
  output files, each synced (best of 3);
- peers, when installed: GDAL's ogr2ogr writing the six tables from CSV files
  of their rows, python3-dbf writing the rows of ASIGT (best of 3).
It prints one table and writes it as Markdown to bench/results.md (or --out).
"""
import argparse
import csv
import os
import shutil
import subprocess
import sys
import tempfile
import time

ORVE_FILES = ["orve_asignat.txt", "ORVE_ACTIVIDADES.TXT", "orve_prof.txt", "orve_aulas.txt",
              "orve_grupo.txt", "orve_asignatgrupo.txt", "orve_asignatcurso.txt",
              "orve_sesiones.txt"]
TABLES = ["ASIGNOMT", "PROFT", "AULAT", "GRUPOST", "ASIGT", "DIASHORAST"]
IMPORT_TABLES = ["SOLUC", "GRUPOST", "PROFT", "AULAT", "ASIGNOMT", "DIASHORAST"]
REPEATS = 3


def timed(argv, **kwargs):
    """Runs argv; returns (wall seconds, peak resident memory in MiB)."""
    start = time.perf_counter()
    process = subprocess.Popen(argv, stdout=subprocess.DEVNULL, **kwargs)
    _, status, usage = os.wait4(process.pid, 0)
    elapsed = time.perf_counter() - start
    process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode != 0:
        sys.exit(f"run.py: {' '.join(argv)} ended with status {process.returncode}")
    return elapsed, usage.ru_maxrss / 1024


def best(argv, **kwargs):
    runs = [timed(argv, **kwargs) for _ in range(REPEATS)]
    return min(t for t, _ in runs), max(m for _, m in runs)


def limit(io_limit, reads, writes):
    argv = [io_limit]
    for path in reads:
        argv += ["-r", path]
    for reference, output in writes:
        argv += ["-w", reference, output]
    times = []
    for _ in range(REPEATS):
        out = subprocess.run(argv, check=True, capture_output=True, text=True).stdout
        times.append(float(out))
    return min(times)


def dbf_rows_as_csv(table, csv_path):
    """The rows of a table as CSV, by GDAL (untimed preparation)."""
    subprocess.run(["ogr2ogr", "-f", "CSV", csv_path, table], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def peer_ogr2ogr(work, scratch):
    csvs = []
    for name in TABLES:
        path = os.path.join(scratch, name + ".csv")
        dbf_rows_as_csv(os.path.join(work, name + ".DBF"), path)
        csvs.append((name, path))
    out_dir = os.path.join(scratch, "ogr")
    times = []
    for _ in range(REPEATS):
        shutil.rmtree(out_dir, ignore_errors=True)
        os.makedirs(out_dir)
        start = time.perf_counter()
        for name, path in csvs:
            subprocess.run(["ogr2ogr", "-f", "ESRI Shapefile",
                            os.path.join(out_dir, name + ".dbf"), path],
                           check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        times.append(time.perf_counter() - start)
    return min(times)


PY_DBF_WRITER = r"""
import csv, sys, time, dbf
rows = list(csv.reader(open(sys.argv[1], newline="", encoding="utf-8")))[1:]
fields = ("CASIG C(10); CPROF C(10); CGRUP C(10); CAULA C(10); CTAREA C(10); TURNO C(1); "
        "NIVEL C(5); CURSO C(3); GRUPO C(2); HORAS N(19,4); SESIONES C(20); NCONEX C(4); "
        "CASIGORVE C(20); CODIDIORVE C(6)")
start = time.perf_counter()
table = dbf.Table(sys.argv[2], fields, codepage="cp1252", dbf_type="db3")
table.open(dbf.READ_WRITE)
for row in rows:
    row[9] = float(row[9] or 0)
    table.append(tuple(row))
table.close()
print(time.perf_counter() - start)
"""


def peer_python_dbf(python, work, scratch):
    source = os.path.join(scratch, "ASIGT.csv")
    if not os.path.exists(source):
        dbf_rows_as_csv(os.path.join(work, "ASIGT.DBF"), source)
    script = os.path.join(scratch, "write_asigt.py")
    with open(script, "w") as f:
        f.write(PY_DBF_WRITER)
    times = []
    for _ in range(REPEATS):
        target = os.path.join(scratch, "PYASIGT.DBF")
        if os.path.exists(target):
            os.remove(target)
        out = subprocess.run([python, script, source, target], check=True,
                             capture_output=True, text=True).stdout
        times.append(float(out))
    return min(times)


def python_with_dbf():
    """A Python that imports python3-dbf (Debian's, when ours lacks it), or None."""
    for python in (sys.executable, "/usr/bin/python3"):
        if os.path.exists(python) and subprocess.run(
                [python, "-c", "import dbf"], capture_output=True).returncode == 0:
            return python
    return None


def measure(scale, build, scratch_root, with_peers):
    scratch = os.path.join(scratch_root, f"S{scale}")
    shutil.rmtree(scratch, ignore_errors=True)
    orve, work, copies = (os.path.join(scratch, d) for d in ("orve", "work", "limit"))
    os.makedirs(copies)
    subprocess.run([os.path.join(build, "bench", "make_district"), str(scale), orve, work],
                   check=True)
    cli = os.path.join(build, "shell", "transtempexorve-cli")
    io_limit = os.path.join(build, "bench", "io_limit")
    result = {"S": scale, "peers": {}}

    result["export"] = best([cli, "export", orve, "--work-folder", work])
    result["export_limit"] = limit(
        io_limit, [os.path.join(orve, f) for f in ORVE_FILES],
        [(os.path.join(work, t + ".DBF"), os.path.join(copies, t + ".DBF")) for t in TABLES])
    result["import"] = best([cli, "import", orve, "--work-folder", work])
    result["import_limit"] = limit(
        io_limit,
        [os.path.join(work, t + ".DBF") for t in IMPORT_TABLES] + [os.path.join(orve, ORVE_FILES[0])],
        [(os.path.join(orve, "ORVE_HORARIO.TXT"), os.path.join(copies, "ORVE_HORARIO.TXT"))])
    result["input_mb"] = {
        "export": sum(os.path.getsize(os.path.join(orve, f)) for f in ORVE_FILES) / 1e6,
        "import": os.path.getsize(os.path.join(work, "SOLUC.DBF")) / 1e6,
    }
    if with_peers and shutil.which("ogr2ogr"):
        result["peers"]["ogr2ogr: the six tables from CSV"] = ("export", peer_ogr2ogr(work, scratch))
    python = python_with_dbf() if with_peers and shutil.which("ogr2ogr") else None
    if python:
        result["peers"]["python3-dbf: the rows of ASIGT"] = (
            "export", peer_python_dbf(python, work, scratch))
    shutil.rmtree(scratch, ignore_errors=True)
    return result


def tables(results):
    """The results as Markdown tables."""
    lines = ["| S | run | input (MB) | ours (s) | limit (s) | ours / limit | peak memory (MiB) "
             "| growth from previous S |", "|---|---|---|---|---|---|---|---|"]
    previous = None
    for r in results:
        for run in ("export", "import"):
            ours, memory = r[run]
            growth = ""
            if previous is not None:
                growth = f"{ours / previous[run][0]:.2f}x for {r['S'] / previous['S']:g}x the data"
            lines.append(f"| {r['S']} | {run} | {r['input_mb'][run]:.1f} | {ours:.3f} "
                         f"| {r[run + '_limit']:.3f} | {ours / r[run + '_limit']:.1f}x "
                         f"| {memory:.1f} | {growth} |")
        previous = r
    peer_lines = ["| S | peer | time (s) | peer / ours |", "|---|---|---|---|"]
    for r in results:
        for name, (run, seconds) in r["peers"].items():
            peer_lines.append(f"| {r['S']} | {name} | {seconds:.3f} | {seconds / r[run][0]:.1f}x |")
    out = "\n".join(lines)
    if len(peer_lines) > 2:
        out += "\n\nPeers (the same rows, against our whole export):\n\n" + "\n".join(peer_lines)
    return out + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("scales", nargs="*", type=int, default=[25, 100])
    parser.add_argument("--build", default="build")
    parser.add_argument("--out", default=os.path.join(os.path.dirname(__file__), "results.md"))
    parser.add_argument("--no-peers", action="store_true")
    args = parser.parse_args()
    load_before = os.getloadavg()[0]
    scratch_root = tempfile.mkdtemp(prefix="tto-bench-")
    try:
        results = [measure(s, args.build, scratch_root, not args.no_peers) for s in args.scales]
    finally:
        shutil.rmtree(scratch_root, ignore_errors=True)
    text = tables(results)
    print(text, end="")
    with open(args.out, "w") as f:
        f.write("Measured by `bash bench/run.sh " + " ".join(map(str, args.scales)) + "` on "
                + f"a machine of {os.cpu_count()} cores, "
                + time.strftime("%Y-%m-%d %H:%M") + f", load average {load_before:.1f} before and "
                + f"{os.getloadavg()[0]:.1f} after (other work on the machine shows in the times). "
                + "Times are the best of 3.\n\n" + text)


if __name__ == "__main__":
    main()
