#!/usr/bin/python3
"""check-docs.py [LINUX_BUILD WIN32_BUILD]: README.md, CHANGELOG.md and docs/
name only what the tree has. In their code (`spans` and fenced lines):
repository paths (tracked; a script runnable unless it says it is sourced;
build/ and dist/ are outputs), bare source file names, tests `group.name`
and the patterns given to `ctest -R`, tollwick-host's options (on a line that
runs it, or a span that is only an option) and presets of the kind the
command takes (`cmake --preset`, `cmake --build --preset`, `ctest --preset`).
In all their text: TOLLWICK_ names, which the tree must use elsewhere as whole
words, and versions, which must be the project's, as must CHANGELOG.md's
newest entry; its older headings name their own."""
import json
import os
import re
import subprocess
import sys

os.chdir(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
builds = sys.argv[1:3] or ["build/linux", "build/win32"]
if not all(os.path.exists(f"{build}/CTestTestfile.cmake") for build in builds):
    sys.exit(f"check-docs: configure {' and '.join(builds)} first")


def run(*command):
    return subprocess.run(command, capture_output=True, text=True, check=True).stdout


tracked = run("git", "ls-files").splitlines()
top_entries = {path.split("/")[0] for path in tracked} - {"build", "dist"}
file_names = {os.path.basename(path) for path in tracked}
docs = ["README.md", "CHANGELOG.md"] + sorted(f"docs/{name}" for name in os.listdir("docs"))
elsewhere = "".join(open(path, errors="replace").read() for path in tracked
                    if path not in docs and os.path.isfile(path))
names_used = set(re.findall(r"\bTOLLWICK_\w+", elsewhere))
version = re.search(r"project\(Tollwick VERSION ([\d.]+)", open("CMakeLists.txt").read())[1]
preset_files = json.load(open("CMakePresets.json"))
presets = {kind: {preset["name"] for preset in preset_files[f"{kind}Presets"]}
           for kind in ("configure", "build", "test")}
tests = {test["name"] for build in builds
         for test in json.loads(run("ctest", "--show-only=json-v1", "--test-dir", build))["tests"]}
test_groups = {name.split(".")[0] for name in tests if "." in name}
host_options = set(re.findall(r"^  (--[a-z-]+)", run(f"{builds[0]}/tollwick-host", "--help"), re.M))
sources = (".cpp", ".h", ".sh", ".py", ".cmake", ".md", ".def", ".map", ".rc", ".json")


def code_faults(code):
    for word in (word.strip("\"'(),;") for word in code.split()):
        path = re.sub(r":\d+$", "", word.removeprefix("./").rstrip(".,;:)"))
        if "/" in path and path.split("/")[0] in top_entries:
            known = re.split(r"[<*${]", path)[0].rstrip("/")
            if not any(name == known or name.startswith(known + "/") for name in tracked):
                yield f"no such path in the repository: {path}"
            elif known.endswith((".sh", ".py")) and not os.access(known, os.X_OK) \
                    and "not run" not in open(known).read(300):
                yield f"{known} has no run bit"
        elif "/" not in word and word.endswith(sources) and not word.startswith(".") \
                and word not in file_names:
            yield f"no tracked file has this name: {word}"
        elif re.fullmatch(r"[a-z0-9_]+\.[\w-]+", word) and word.split(".")[0] in test_groups \
                and word not in tests | file_names:
            yield f"no such test: {word}"
    runs_host = re.search(r"tollwick-host\b", code)
    options = (re.findall(r"(?<![\w-])--[a-z][a-z-]*", code[runs_host.end():]) if runs_host
               else re.findall(r"^\s*(--[a-z][a-z-]*)\s*$", code))
    yield from (f"tollwick-host has no option {option}" for option in options
                if option not in host_options)
    for command in re.split(r"&&|;|\s\|\s", code):
        kind = ("test" if re.search(r"\bctest\b", command) else
                "build" if re.search(r"--build\b", command) else "configure")
        yield from (f"no {kind} preset {preset}"
                    for preset in re.findall(r"--preset[ =]([\w-]+)", command)
                    if preset not in presets[kind])
        if kind == "test":
            patterns = re.findall(r"\s-R[ =]?['\"]?([^\s'\"<]+)", command)
            yield from (f"ctest -R {pattern} matches no test" for pattern in patterns
                        if not any(re.search(pattern, test) for test in tests))


def text_faults(line, versions=True):
    names = re.findall(r"\bTOLLWICK_[A-Z0-9_]*[A-Z0-9]", line)
    yield from (f"{name} is used nowhere in the tree" for name in names if name not in names_used)
    for four_part, named in re.findall(
            r"(?<![\d.])(\d+(?:\.\d+){3})(?![\d.])|\bTollwick[ -](\d+(?:\.\d+)+)", line):
        if versions and (four_part or named) != version:
            yield f"version {four_part or named}, but the project is {version}"


faults = []
for doc in docs:
    fenced = False
    for number, line in enumerate(open(doc, encoding="utf-8").read().splitlines(), 1):
        if line.lstrip().startswith("```"):
            fenced = not fenced
            continue
        codes = [line] if fenced else re.findall(r"`([^`]+)`", line)
        heading = doc == "CHANGELOG.md" and line.startswith("## ")
        found = list(text_faults(line, versions=not heading))
        found += [fault for code in codes for fault in code_faults(code)]
        faults += [f"{doc}:{number}: {fault}" for fault in dict.fromkeys(found)]
newest = re.search(r"^## (.*)", open("CHANGELOG.md", encoding="utf-8").read(), re.M)
if not newest or version not in newest[1].split():
    faults.append(f"CHANGELOG.md: the newest entry is not {version}")

print("".join(f"FAULT: {fault}\n" for fault in faults), end="")
print(f"check-docs: {len(docs)} docs, {len(faults)} faults")
sys.exit(1 if faults else 0)
