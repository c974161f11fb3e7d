#!/usr/bin/env python3
"""Replays a file of vexogeo command-line cases; exits 1 when any case fails.

A case file is a list of blocks. Lines starting with '#' before the first block are comments.

    === why this case exists, on one line
    args: transform --from EPSG:4326 --to EPSG:3857     (the tool's command line, through sh)
    exit: 1                                             (default 0)
    lang: german                                        (installation language, default english)
    wrap: PROJ_DEBUG=1                                  (shell text right before the tool)
    check: test ! -e no                                 (shell, run afterwards, must succeed)
    --- file NAME                                       (written into the case's folder first)
    --- stdin
    --- stdout                                          (exact; default empty)
    --- stderr                                          (exact; default empty)

A section holds the lines up to the next '---' or '===' line, each with its newline; blank lines
right before a '===' line separate blocks. A section header ending in ' escaped' reads \\n \\r \\t
\\0 \\\\ and \\xHH, and a '\\' ending a line joins it to the next (so a last line ending in '\\'
has no newline). A stderr of '*' asks only for some diagnostic (CLI11's usage texts); one ending
in '*' for a single short line starting so. In every text {scratch} is the case's folder (also
its working folder), {source} the source tree and {data} its data folder. Cases of one file share
their folder, in order. The geocoding service is a closed loopback port: nothing leaves the
machine.
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile


def unescape(text):
    text = re.sub(r"\\\n", "", text)
    escapes = {"n": "\n", "r": "\r", "t": "\t", "0": "\0", "\\": "\\"}
    return re.sub(
        r"\\(x[0-9A-Fa-f]{2}|[nrt0\\])",
        lambda m: chr(int(m.group(1)[1:], 16)) if m.group(1)[0] == "x" else escapes[m.group(1)],
        text,
    )


def parse(path):
    cases, case, section = [], None, None
    # Bytes as characters one for one: expected texts compare with the tool's bytes.
    with open(path, encoding="latin-1", newline="\n") as f:
        lines = f.read().split("\n")
    for number, line in enumerate(lines, 1):
        if line.startswith("=== "):
            case = {"why": line[4:], "line": number, "sections": {}, "keys": {}}
            cases.append(case)
            section = None
        elif case is None:
            if line and not line.startswith("#"):
                raise SystemExit(f"{path}:{number}: text before the first '=== ' block")
        elif line.startswith("--- "):
            section = case["sections"].setdefault(line[4:].strip(), [])
        elif section is not None:
            section.append(line)
        elif line:
            key, _, value = line.partition(": ")
            if key not in ("args", "exit", "lang", "wrap", "check"):
                raise SystemExit(f"{path}:{number}: unknown key '{key}'")
            case["keys"][key] = value
    for case in cases:
        sections = {}
        for name, body in case["sections"].items():
            if body is list(case["sections"].values())[-1]:
                while body and body[-1] == "":
                    body.pop()
            text = "".join(line + "\n" for line in body)
            if name.endswith(" escaped"):
                name, text = name[: -len(" escaped")], unescape(text)
            sections[name] = text
        case["sections"] = sections
    return cases


def matches(err, expected):
    if expected == "*\n":
        return err != ""
    if expected.endswith("*\n"):
        return err.startswith(expected[:-2]) and err.find("\n") == len(err) - 1 and len(err) < 400
    return err == expected


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tool", required=True)
    parser.add_argument("--settings", required=True, help="folder of the language folders")
    parser.add_argument("--source", required=True)
    parser.add_argument("cases")
    options = parser.parse_args()
    failures = 0
    with tempfile.TemporaryDirectory(prefix="vexogeo-cli-") as scratch:
        names = {"{scratch}": scratch, "{source}": options.source,
                 "{data}": os.path.join(options.source, "data")}

        def fill(text):
            for name, value in names.items():
                text = text.replace(name, value)
            return text

        cases = parse(options.cases)
        for case in cases:
            keys, sections = case["keys"], case["sections"]
            for name, text in sections.items():
                if name.startswith("file "):
                    path = os.path.join(scratch, name[5:])
                    os.makedirs(os.path.dirname(path), exist_ok=True)
                    with open(path, "wb") as f:
                        f.write(fill(text).encode("latin-1"))
            env = dict(os.environ, PROJ_DEBUG="0", XDG_CACHE_HOME=os.path.join(scratch, "cache"),
                       XDG_CONFIG_HOME=os.path.join(options.settings, keys.get("lang", "english")),
                       XDG_CONFIG_DIRS=os.path.join(options.settings, "none"),
                       VEXOGEO_NOMINATIM_URL="http://127.0.0.1:9/search",
                       https_proxy="http://127.0.0.1:9", HTTPS_PROXY="http://127.0.0.1:9")
            stdin = os.path.join(scratch, ".stdin")
            with open(stdin, "wb") as f:
                f.write(fill(sections.get("stdin", "")).encode("latin-1"))
            command = fill(keys.get("wrap", "") + " " + options.tool + " " + keys["args"])
            with open(stdin, "rb") as f:
                run = subprocess.run(["/bin/sh", "-c", command], stdin=f, capture_output=True,
                                     cwd=scratch, env=env, timeout=120)
            out, err = run.stdout.decode("latin-1"), run.stderr.decode("latin-1")
            wrong = []
            expected = fill(sections.get("stdout", ""))
            if out != expected:
                wrong.append(f"stdout:\n{out!r}\nexpected:\n{expected!r}")
            if run.returncode != int(keys.get("exit", "0")):
                wrong.append(f"exit {run.returncode}, expected {keys.get('exit', '0')}")
            if not matches(err, fill(sections.get("stderr", ""))):
                wrong.append(f"stderr:\n{err!r}\nexpected:\n{fill(sections.get('stderr', ''))!r}")
            if "check" in keys and subprocess.run(["/bin/sh", "-c", fill(keys["check"])],
                                                  cwd=scratch).returncode != 0:
                wrong.append(f"check failed: {keys['check']}")
            if wrong:
                failures += 1
                print(f"{options.cases}:{case['line']}: {case['why']}\n  {command}\n" +
                      "\n".join(wrong) + "\n")
        print(f"{len(cases) - failures} of {len(cases)} cases passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
