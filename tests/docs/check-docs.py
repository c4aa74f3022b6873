#!/usr/bin/python3
"""check-docs.py [LINUX_BUILD_DIR WIN32_BUILD_DIR]: README.md, docs/ and the
user guide name only what the tree has, and only the project's version.

Read from the code of the docs (`spans` and fenced blocks):
- a path whose first part is a top-level entry of the repository must be a
  tracked file or folder (the part before a <placeholder> or * must be), and
  a script among them must have its run bit, unless it says it is sourced;
  build/ and dist/ hold outputs and are not checked;
- a bare file name with a source extension must be a tracked file's name;
- `group.name`, where group is a CTest test group, must be a test of one of
  the two builds, and the pattern after `ctest ... -R` must match one;
- options on a line that runs tollwick-host, and a span that is only an
  option, must be tollwick-host's options (its --help);
- `--preset NAME` must name a preset of CMakePresets.json.
From all of their text:
- "the test `NAME`" must name a test;
- a TOLLWICK_ name must be used by the tree outside the docs;
- a four-part version, and "Tollwick" followed by a version, must be the
  project's; so must CHANGELOG.md's newest entry.
"""
import json
import os
import re
import subprocess
import sys

top = os.path.realpath(os.path.join(os.path.dirname(__file__), "..", ".."))
build_dirs = sys.argv[1:3] or [os.path.join(top, "build", "linux"), os.path.join(top, "build", "win32")]
os.chdir(top)

modes = {}  # tracked path: its mode in git
for entry in subprocess.run(["git", "ls-files", "-s"], capture_output=True, text=True,
                            check=True).stdout.splitlines():
    info, path = entry.split("\t", 1)
    modes[path] = info.split()[0]
tracked = list(modes)
tracked_folders = {os.path.dirname(path)[: i] for path in tracked
                   for i in range(len(os.path.dirname(path)) + 1)
                   if i == len(os.path.dirname(path)) or os.path.dirname(path)[i] == "/"}
top_entries = {path.split("/")[0] for path in tracked}
tracked_names = {os.path.basename(path) for path in tracked}
doc_files = ["README.md"] + sorted(
    os.path.join("docs", name) for name in os.listdir("docs") if name.endswith((".md", ".txt")))
not_docs = [path for path in tracked if path not in doc_files and path != "CHANGELOG.md"]

version = re.search(r"project\(Tollwick VERSION ([0-9.]+)", open("CMakeLists.txt").read()).group(1)
presets = {preset["name"] for preset in json.load(open("CMakePresets.json"))["configurePresets"]
           if not preset.get("hidden")}

tests = set()
for build in build_dirs:
    listing = subprocess.run(["ctest", "--show-only=json-v1", "--test-dir", build],
                             capture_output=True, text=True)
    if listing.returncode != 0 or not os.path.exists(os.path.join(build, "CTestTestfile.cmake")):
        sys.exit(f"check-docs: {build} is not configured; configure both presets first")
    tests |= {test["name"] for test in json.loads(listing.stdout)["tests"]}
test_groups = {name.split(".")[0] for name in tests if "." in name}
host = os.path.join(build_dirs[0], "tollwick-host")
host_options = set(re.findall(r"^  (--[a-z-]+)", subprocess.run(
    [host, "--help"], capture_output=True, text=True, check=True).stdout, re.M))

uses_outside_docs = "\n".join(open(path, errors="replace").read() for path in not_docs
                              if os.path.isfile(path))
source_extensions = (".cpp", ".h", ".sh", ".py", ".cmake", ".md", ".def", ".map", ".rc", ".json")
faults = []


def code_of(text):
    """(line number, code) for each inline span and each fenced line."""
    fenced = False
    for number, line in enumerate(text.splitlines(), 1):
        if line.lstrip().startswith("```"):
            fenced = not fenced
        elif fenced:
            yield number, line
        else:
            for span in re.findall(r"`([^`]+)`", line):
                yield number, span


def check_path(token):
    token = re.sub(r":\d+$", "", token.removeprefix("./").rstrip(".,;:)"))
    first = token.split("/")[0]
    if first in ("build", "dist") or first not in top_entries:
        return None
    known = re.split(r"[<*${]", token)[0].rstrip("/")
    if known in tracked_folders:
        return None
    if known not in tracked:
        return f"no such path in the repository: {token}"
    # A script the docs name is run, unless it says it is only sourced.
    if known.endswith((".sh", ".py")) and modes[known] != "100755" \
            and "not run" not in open(known).read(300):
        return f"{known} has no run bit in git"
    return None


def check_code(code):
    found = []
    words = code.split()
    for word in words:
        word = word.strip("\"'(),;")
        if "/" in word and "://" not in word and not word.startswith(("/", "~", "$")):
            found.append(check_path(word))
        elif word.endswith(source_extensions) and not word.startswith(".") \
                and word not in tracked_names:
            found.append(f"no tracked file has this name: {word}")
        elif re.fullmatch(r"[a-z0-9_]+\.[a-z0-9_-]+", word) and word.split(".")[0] in test_groups \
                and word not in tests and word not in tracked_names:
            found.append(f"no such test: {word}")
    for pattern in re.findall(r"\bctest\b.*?\s-R\s+(\S+)", code):
        if "<" not in pattern and not any(re.search(pattern.strip("'\""), name) for name in tests):
            found.append(f"ctest -R {pattern} matches no test")
    for preset in re.findall(r"--preset[ =]([\w-]+)", code):
        if preset not in presets:
            found.append(f"no such preset: {preset}")
    runs_host = re.search(r"tollwick-host(\.exe)?\b", code)
    options = re.findall(r"(?<![\w-])(--[a-z][a-z-]*)", code[runs_host.end():]) if runs_host else []
    if re.fullmatch(r"--[a-z][a-z-]*", code.strip()):
        options.append(code.strip())
    found += [f"tollwick-host has no option {option}" for option in options
              if option not in host_options]
    return [fault for fault in found if fault]


def check_text(text):
    found = [f"no such test: {name}" for name in re.findall(r"\btests? `([^`]+)`", text)
             if name not in tests]
    for name in set(re.findall(r"\bTOLLWICK_[A-Z0-9_]*[A-Z0-9]", text)):
        if name not in uses_outside_docs:
            found.append(f"{name} is used nowhere in the tree")
    for other in re.findall(r"(?<![\d.])\d+\.\d+\.\d+\.\d+(?![\d.])", text):
        if other != version:
            found.append(f"version {other}, but the project is {version}")
    for other in re.findall(r"\bTollwick[ -](\d+(?:\.\d+)+)", text):
        if other != version:
            found.append(f"Tollwick {other}, but the project is {version}")
    return found


for doc in doc_files:
    text = open(doc, encoding="utf-8").read()
    for number, line in enumerate(text.splitlines(), 1):
        faults += [f"{doc}:{number}: {fault}" for fault in check_text(line)]
    for number, code in code_of(text):
        faults += [f"{doc}:{number}: {fault}" for fault in check_code(code)]

newest = re.search(r"^## (.*)$", open("CHANGELOG.md", encoding="utf-8").read(), re.M)
if not newest or version not in newest.group(1).split():
    faults.append(f"CHANGELOG.md: the newest entry is not {version}")

faults = list(dict.fromkeys(faults))
for fault in faults:
    print("FAULT:", fault)
print(f"check-docs: {len(doc_files)} docs read, {len(faults)} faults")
sys.exit(1 if faults else 0)
