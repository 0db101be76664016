#!/usr/bin/env python3
"""Seed faults one at a time and record which tests catch each.

For every fault of scripts/seed-faults.txt: apply it to a separate worktree,
rebuild the test build, run the whole suite, note the failing tests, restore
the file. The result is a markdown table: id | file | fault | tests that
catch it (or UNCAUGHT).

    scripts/seed-faults.py f6c89fb              # a commit (any git revision)
    scripts/seed-faults.py main --label after   # name the worktree and results
    scripts/seed-faults.py --working-tree       # HEAD plus this tree's edits
    scripts/seed-faults.py --check [--dir D]    # do the snippets still match (here or in D)?
    scripts/seed-faults.py --table --label L    # the table of a run so far

The worktree is /work/seed-<label> (or --dir), configured once with the test
preset. Results go line by line to /tmp/seed-<label>.jsonl, so a run that was
stopped takes up where it left off (--fresh starts over); --only F01,F02 reruns
some faults. The table is printed and written to --out (default
/tmp/seed-<label>.md). --remove deletes the worktree at the end.
"""
import argparse
import json
import os
import pathlib
import re
import shutil
import subprocess
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
FAULTS = pathlib.Path(__file__).resolve().with_suffix(".txt")
NICE = ["nice", "-n", "10"]


def parse_faults(path):
    faults = []
    current = None
    part = None
    for line in path.read_text(encoding="utf-8").split("\n"):
        if line.startswith("=== "):
            fid, file, desc = (s.strip() for s in line[4:].split("|", 2))
            current = {"id": fid, "file": file, "desc": desc, "find": [], "replace": []}
            faults.append(current)
            part = None
        elif current is not None and line == "<<<" and part is None:
            part = "find"
        elif current is not None and line == ">>>" and part == "find":
            part = "replace"
        elif part is not None:
            current[part].append(line)
    for f in faults:
        # A block ends at the next marker; blank lines before it are spacing.
        while f["replace"] and f["replace"][-1] == "":
            f["replace"].pop()
        f["find"] = "\n".join(f["find"])
        f["replace"] = "\n".join(f["replace"])
        if not f["find"]:
            sys.exit(f"{f['id']}: empty snippet")
    ids = [f["id"] for f in faults]
    if len(ids) != len(set(ids)):
        sys.exit("duplicate fault ids")
    return faults


def run(cmd, cwd, log, timeout=None):
    with open(log, "a", encoding="utf-8") as out:
        out.write(f"\n$ {' '.join(cmd)}\n")
        out.flush()
        try:
            p = subprocess.run(cmd, cwd=cwd, stdout=out, stderr=subprocess.STDOUT,
                               timeout=timeout)
            return p.returncode
        except subprocess.TimeoutExpired:
            out.write("TIMEOUT\n")
            return -1


def git(*args, cwd=ROOT, check=True):
    return subprocess.run(["git", *args], cwd=cwd, check=check, capture_output=True,
                          text=True).stdout


def make_worktree(args, wt):
    if wt.exists():
        print(f"reusing worktree {wt}", flush=True)
        return
    rev = "HEAD" if args.working_tree else args.commit
    commit = git("rev-parse", "--verify", f"{rev}^{{commit}}").strip()
    git("worktree", "add", "--detach", str(wt), commit)
    if args.working_tree:
        # The tree's uncommitted edits and new files, the build left out.
        diff = subprocess.run(["git", "diff", "HEAD", "--binary"], cwd=ROOT, check=True,
                              capture_output=True).stdout
        if diff:
            subprocess.run(["git", "apply", "--whitespace=nowarn"], cwd=wt, input=diff,
                           check=True)
        for name in git("ls-files", "--others", "--exclude-standard").splitlines():
            dest = wt / name
            dest.parent.mkdir(parents=True, exist_ok=True)
            shutil.copy2(ROOT / name, dest)


def failing_tests(log_text):
    tests = []
    section = log_text.split("The following tests FAILED:", 1)
    if len(section) == 2:
        for line in section[1].splitlines():
            m = re.match(r"\s*\d+ - (\S+) \((.*)\)", line)
            if m:
                tests.append(m.group(1) + ("" if m.group(2) == "Failed" else f" [{m.group(2)}]"))
            elif line.strip() and not line.startswith("\t") and tests:
                break
    cases = sorted(set(re.findall(r"^\[  FAILED  \] ([\w/.]+)(?:, where|\s*\(|$)", log_text,
                                  flags=re.M)))
    return tests, cases


def test_run(wt, log):
    t0 = time.time()
    cmd = NICE + ["ctest", "--preset", "test", "-j", "2", "--timeout", "120",
                  "--output-on-failure"]
    start = len(pathlib.Path(log).read_text(encoding="utf-8", errors="replace")) if \
        pathlib.Path(log).exists() else 0
    rc = run(cmd, wt, log, timeout=1800)
    text = pathlib.Path(log).read_text(encoding="utf-8", errors="replace")[start:]
    tests, cases = failing_tests(text)
    if rc != 0 and not tests:
        tests = [f"ctest exit {rc}"]
    return tests, cases, time.time() - t0


def build(wt, log):
    return run(NICE + ["cmake", "--build", "--preset", "test", "-j", "2"], wt, log,
               timeout=3600) == 0


def table(faults, results, baseline):
    rows = ["| id | file | fault | tests that catch it |", "|---|---|---|---|"]
    caught = 0
    done = 0
    for f in faults:
        r = results.get(f["id"])
        if r is None:
            verdict = "(not run)"
        elif r["status"] != "ran":
            verdict = r["status"].upper()
        else:
            done += 1
            new = [t for t in r["tests"] if t not in baseline]
            if new:
                caught += 1
                verdict = ", ".join(new)
                if r["cases"]:
                    shown = r["cases"][:6]
                    more = len(r["cases"]) - len(shown)
                    verdict += " (" + ", ".join(shown) + (f", +{more} more" if more else "") + ")"
            else:
                verdict = "**UNCAUGHT**"
        rows.append(f"| {f['id']} | {f['file']} | {f['desc']} | {verdict} |")
    summary = f"Caught {caught} / {len(faults)} faults ({done} ran)."
    return "\n".join(rows), summary, caught


def main():
    ap = argparse.ArgumentParser(description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("commit", nargs="?", help="git revision to test")
    ap.add_argument("--working-tree", action="store_true",
                    help="test HEAD with this tree's uncommitted edits")
    ap.add_argument("--label", help="names the worktree and result files")
    ap.add_argument("--dir", help="worktree directory (default /work/seed-<label>)")
    ap.add_argument("--faults", default=str(FAULTS))
    ap.add_argument("--only", help="comma-separated fault ids to (re)run")
    ap.add_argument("--fresh", action="store_true", help="forget earlier results")
    ap.add_argument("--out", help="markdown table file (default /tmp/seed-<label>.md)")
    ap.add_argument("--remove", action="store_true", help="remove the worktree at the end")
    ap.add_argument("--table", action="store_true",
                    help="only print the table of the results recorded so far")
    ap.add_argument("--check", action="store_true",
                    help="only report which snippets match in this checkout")
    args = ap.parse_args()

    faults = parse_faults(pathlib.Path(args.faults))

    def unmatched(base):
        bad = []
        for f in faults:
            path = base / f["file"]
            n = path.read_text(encoding="utf-8").count(f["find"]) if path.exists() else 0
            if n != 1:
                bad.append(f"{f['id']} {f['file']}: snippet found {n} times")
        return bad

    if args.check:
        bad = unmatched(pathlib.Path(args.dir) if args.dir else ROOT)
        print("\n".join(bad + [f"{len(faults) - len(bad)} / {len(faults)} snippets match once"]))
        return 1 if bad else 0
    if not args.commit and not args.working_tree and not (args.table and args.label):
        ap.error("give a commit or --working-tree")

    label = args.label or ("tree" if args.working_tree else
                           git("rev-parse", "--short", args.commit).strip())
    wt = pathlib.Path(args.dir or f"/work/seed-{label}")
    if wt.resolve() == ROOT:
        sys.exit("refusing to seed faults in the main checkout")
    results_path = pathlib.Path(f"/tmp/seed-{label}.jsonl")
    log = f"/tmp/seed-{label}.log"
    out = pathlib.Path(args.out or f"/tmp/seed-{label}.md")
    if args.fresh and results_path.exists():
        results_path.unlink()

    results = {}
    baseline = None
    if results_path.exists():
        for line in results_path.read_text(encoding="utf-8").splitlines():
            r = json.loads(line)
            if r["id"] == "_baseline":
                baseline = r
            else:
                results[r["id"]] = r

    def record(r):
        with open(results_path, "a", encoding="utf-8") as fh:
            fh.write(json.dumps(r, ensure_ascii=False) + "\n")

    if args.table:
        rows, summary, _ = table(faults, results, set(baseline["tests"]) if baseline else set())
        print(f"{rows}\n\n{summary}")
        return 0

    make_worktree(args, wt)
    # A fault that cannot be put in would count as neither caught nor missed.
    bad = unmatched(wt)
    if bad:
        sys.exit("refusing to run: these faults do not apply to that tree\n" + "\n".join(bad))
    head = git("rev-parse", "--short", "HEAD", cwd=wt).strip()
    print(f"worktree {wt} at {head}; log {log}; results {results_path}", flush=True)
    if not (wt / "build" / "test" / "CMakeCache.txt").exists():
        if run(NICE + ["cmake", "--preset", "test"], wt, log) != 0:
            sys.exit(f"configure failed, see {log}")

    if baseline is None:
        t0 = time.time()
        if not build(wt, log):
            sys.exit(f"the unchanged tree does not build, see {log}")
        tests, cases, secs = test_run(wt, log)
        baseline = {"id": "_baseline", "tests": tests, "cases": cases,
                    "build_s": round(time.time() - t0 - secs), "test_s": round(secs)}
        record(baseline)
        print(f"baseline: {len(tests)} failing {tests} ({time.time() - t0:.0f} s)", flush=True)
    base_fail = set(baseline["tests"])

    only = set(args.only.split(",")) if args.only else None
    for f in faults:
        if only is not None and f["id"] not in only:
            continue
        if only is None and f["id"] in results:
            continue
        t0 = time.time()
        path = wt / f["file"]
        original = path.read_bytes() if path.exists() else None
        text = original.decode("utf-8") if original is not None else ""
        n = text.count(f["find"])
        if n != 1:
            r = {"id": f["id"], "status": "snippet not found" if n == 0 else
                 f"snippet found {n} times", "tests": [], "cases": []}
            record(r)
            results[f["id"]] = r
            print(f"{f['id']}: {r['status']}", flush=True)
            continue
        path.write_text(text.replace(f["find"], f["replace"]), encoding="utf-8")
        try:
            with open(log, "a", encoding="utf-8") as fh:
                fh.write(f"\n##### {f['id']} {f['file']}: {f['desc']}\n")
            if not build(wt, log):
                r = {"id": f["id"], "status": "build fails", "tests": [], "cases": []}
            else:
                tests, cases, secs = test_run(wt, log)
                r = {"id": f["id"], "status": "ran", "tests": tests, "cases": cases,
                     "test_s": round(secs)}
        finally:
            path.write_bytes(original)
        r["total_s"] = round(time.time() - t0)
        record(r)
        results[f["id"]] = r
        new = [t for t in r["tests"] if t not in base_fail]
        verdict = r["status"] if r["status"] != "ran" else (", ".join(new) or "UNCAUGHT")
        print(f"{f['id']} ({r['total_s']} s): {verdict}", flush=True)

    rows, summary, _ = table(faults, results, base_fail)
    head_line = f"Seeded faults on {head} ({wt.name})."
    if base_fail:
        head_line += f" Failing before any fault, ignored: {', '.join(sorted(base_fail))}."
    report = f"{head_line}\n\n{rows}\n\n{summary}\n"
    out.write_text(report, encoding="utf-8")
    print(report)
    print(f"table written to {out}")
    if args.remove:
        git("worktree", "remove", "--force", str(wt))
    return 0


if __name__ == "__main__":
    sys.exit(main())
