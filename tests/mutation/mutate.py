#!/usr/bin/env python3
"""Tries each fault of faults.tsv against the test suite and says which the tests catch.

usage: tests/mutation/mutate.py [--scratch DIR] [ID ...]

The faults go, one at a time, into a scratch worktree at this checkout's HEAD (uncommitted changes
are not in it), with build folders of its own so that each build is incremental. Linux faults run
the dev preset's ctest with the real-JACK tests required, faults in src/platform/windows the
windows preset's ctest under Wine. A fault that removes or changes a line taking a lock, which
the plain tests may not notice, also meets the tsan preset's tests when the dev tests let it
through. Before the faults the clean tree must pass. A fault counts as caught only when a test
fails, and fails again when run once more: a failure that does not repeat was the machine's load.
A test that ctest has to kill at its 90-second limit does not count: a hang is caught only when
the test's own deadline fails it. A fault whose line is not found, or that does not compile, is
an error.
"""
import argparse
import os
import re
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = Path(subprocess.check_output(["git", "-C", HERE, "rev-parse", "--show-toplevel"], text=True).strip())
PARTS = ["src/platform/linux/stream", "src/platform/windows", "src/platform", "src/common", "src/app",
         "src/tool", "src/player", "src/sequencer", "src/shared", "tools/korrel"]


def part(path):
    found = next(p for p in PARTS if path.startswith(p + "/"))
    return "src/platform/linux" if found == "src/platform" else found


def preset(path):
    return "windows" if path.startswith("src/platform/windows/") else "dev"


LOCKING = re.compile(r"\b(lock_guard|unique_lock|scoped_lock|mutex)\b|\.(try_)?(un)?lock\(")


def takes_lock(fault):
    return preset(fault["file"]) == "dev" and bool(LOCKING.search(fault["line"] + fault["new"]))


def run(args, log, **kw):
    with open(log, "a") as out:
        out.write(f"$ {' '.join(map(str, args))}\n")
        out.flush()
        return subprocess.run(args, stdout=out, stderr=subprocess.STDOUT, **kw).returncode


def read_faults():
    faults = []
    for line in (HERE / "faults.tsv").read_text().splitlines():
        if line.strip() and not line.startswith("#"):
            cols = line.split("\t") + [""] * 3
            faults.append(dict(id=cols[0], file=cols[1], line=cols[2], new=cols[3], after=cols[4]))
    return faults


def locate(tree, fault):
    """The index of the fault's line in its file; raises when it is not there exactly once."""
    lines = (tree / fault["file"]).read_text().split("\n")
    start = 0
    if fault["after"]:
        anchors = [i for i, text in enumerate(lines) if text.strip() == fault["after"]]
        if len(anchors) != 1:
            raise ValueError(f"{fault['id']}: {len(anchors)} lines match the anchor")
        start = anchors[0]
    hits = [i for i, text in enumerate(lines) if i >= start and text.strip() == fault["line"]]
    if not hits or (not fault["after"] and len(hits) > 1):
        raise ValueError(f"{fault['id']}: {len(hits)} lines of {fault['file']} match")
    return lines, hits[0]


def apply(tree, fault):
    lines, i = locate(tree, fault)
    indent = lines[i][: len(lines[i]) - len(lines[i].lstrip())]
    lines[i] = indent + fault["new"] if fault["new"] else ""
    (tree / fault["file"]).write_text("\n".join(lines))


def failed_tests(output):
    """The tests that failed, each with ctest's reason: Failed, Timeout, SEGFAULT, ..."""
    tail = output.split("The following tests FAILED:")[-1] if "tests FAILED" in output else ""
    return re.findall(r"^\s*\d+ - (.+?) \(([^)]*)\)\s*$", tail, re.M)


class Suite:
    def __init__(self, tree, name, logs):
        self.tree, self.name, self.logs = tree, name, logs
        self.env = dict(os.environ, PARLET_REQUIRE_JACK="1")
        self.only_args = []
        if name == "tsan":  # as its test preset runs them
            self.only_args = ["-LE", "timing"]
            self.env["TSAN_OPTIONS"] = ("halt_on_error=1 second_deadlock_stack=1 suppressions="
                                        f"{tree / 'tests/tsan.supp'}")
        if name == "windows":
            qt = subprocess.check_output([tree / "scripts/qt-windows"], text=True).strip()
            self.env["PARLET_QT_WINDOWS"] = qt
            # A Wine prefix of its own: a desktop that another run started without a display
            # would swallow the smoke test's window.
            self.env["PARLET_WINEPREFIX"] = str(tree.parent / (tree.name + "-wine"))
        # Without -Werror: a slip that draws only a warning must meet the tests.
        extra = ["-DPARLET_WERROR=OFF"] + (["-DPARLET_BUILD_BENCH=OFF"] if name == "dev" else [])
        if run(["cmake", "--preset", name, *extra], logs / f"configure-{name}.log", cwd=tree,
               env=self.env):
            sys.exit(f"configuring {name} failed: see {logs}")

    def build(self, log):
        return run(["cmake", "--build", "--preset", self.name], log, cwd=self.tree, env=self.env) == 0

    def test(self, log, only=None):
        args = ["ctest", "--test-dir", f"build/{self.name}", "--timeout", "90", "-j2",
                *self.only_args]
        if only:
            args += ["-R", "^(" + "|".join(re.escape(t) for t in only) + ")$"]
        output = subprocess.run(args, cwd=self.tree, env=self.env, text=True,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT).stdout
        with open(log, "a") as out:
            out.write(f"$ {' '.join(args)}\n{output}")
        return failed_tests(output)

    def confirmed_failures(self, log):
        """Tests that fail twice in a row, not by ctest's timeout; then all that failed once."""
        first = [name for name, _ in self.test(log)]
        again = self.test(log, first) if first else []
        return [name for name, why in again if why != "Timeout"], first, [
            name for name, why in again if why == "Timeout"]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    cache = Path(os.environ.get("PARLET_CACHE", Path.home() / ".cache/parlet"))
    parser.add_argument("--scratch", type=Path, default=cache / "mutants")
    parser.add_argument("ids", nargs="*")
    options = parser.parse_args()
    faults = [f for f in read_faults() if not options.ids or f["id"] in options.ids]
    tree, logs = options.scratch, options.scratch / "logs"
    head = subprocess.check_output(["git", "-C", ROOT, "rev-parse", "HEAD"], text=True).strip()
    if not (tree / ".git").exists():
        subprocess.check_call(["git", "-C", ROOT, "worktree", "add", "--detach", tree, head])
    subprocess.check_call(["git", "-C", tree, "checkout", "-q", "--detach", "-f", head])
    logs.mkdir(exist_ok=True)
    for old in logs.glob("*.log"):
        old.unlink()
    for fault in faults:
        locate(tree, fault)  # every fault applies before any is tried

    suites = {}
    names = {preset(f["file"]) for f in faults} | ({"tsan"} if any(map(takes_lock, faults)) else set())
    for name in sorted(names):
        suites[name] = suite = Suite(tree, name, logs)
        log = logs / f"clean-{name}.log"
        if not suite.build(log):
            sys.exit(f"the clean tree does not build {name}: see {log}")
        caught, _, hung = suite.confirmed_failures(log)
        if caught or hung:  # failed twice
            sys.exit(f"the clean tree does not pass {name}: see {log}")

    results = []
    for fault in faults:
        started = time.time()
        suite, log = suites[preset(fault["file"])], logs / f"{fault['id']}.log"
        apply(tree, fault)
        try:
            if not suite.build(log):
                sys.exit(f"{fault['id']} does not compile: see {log}")
            caught, once, hung = suite.confirmed_failures(log)
            if not caught and takes_lock(fault):
                if not suites["tsan"].build(log):
                    sys.exit(f"{fault['id']} does not compile for tsan: see {log}")
                caught, once, more = suites["tsan"].confirmed_failures(log)
                caught, hung = ["tsan: " + name for name in caught], hung + more
        finally:
            subprocess.check_call(["git", "-C", tree, "checkout", "-q", "--", fault["file"]])
        note = ", ".join(caught) if caught else (
            "hung until ctest's limit: " + ", ".join(hung) if hung else
            "failed once only: " + ", ".join(once) if once else "")
        results.append((fault, bool(caught)))
        print(f"{fault['id']:4} {'caught' if caught else 'SURVIVED':8} {time.time() - started:5.0f} s"
              f"  {note[:150]}", flush=True)

    print()
    for name in dict.fromkeys(part(f["file"]) for f, _ in results):
        mine = [ok for f, ok in results if part(f["file"]) == name]
        print(f"{name:28} {sum(mine)} of {len(mine)}")
    total = sum(ok for _, ok in results)
    print(f"{'all':28} {total} of {len(results)} ({100 * total / len(results):.0f} %)")
    print("survived:", " ".join(f["id"] for f, ok in results if not ok) or "none")


if __name__ == "__main__":
    main()
