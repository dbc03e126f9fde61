#!/usr/bin/env python3
"""Lays out the operator's manual of one platform for the help compiler.

The topics every platform shares are in this folder; each platform's own
topics are in its subfolder (linux/, windows/), under the same names on
every platform (ports.htm, install.htm), so that the shared topics, the
contents and the context map can point at them without knowing the
platform. The project's file list gets the platform's topics added, and the
index is the shared keywords merged with the platform's (its index.hhk).
A page, contents or index entry that leads to a file or an anchor the
platform's manual lacks stops the build.

Usage: assemble.py PLATFORM STAGE
"""
import os
import re
import shutil
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
PROJECT = "KPX Updater.hhp"
INDEX = "index.hhk"
# Sources of the build, not of the manual.
NOT_MANUAL = {"CMakeLists.txt", "Manual.cmake", os.path.basename(__file__)}

ENTRY = re.compile(r'[ \t]*<LI>\s*<OBJECT type="text/sitemap">.*?</OBJECT>\n', re.S)
NAME = re.compile(r'<param name="Name" value="([^"]*)">')
TARGET = re.compile(r'(?:href|src)="([^"]*)"|<param name="Local" value="([^"]*)">', re.I)
ANCHOR = re.compile(r'<a\s+name="([^"]*)"', re.I)


def files_of(folder, leave_out):
    return sorted(name for name in os.listdir(folder)
                  if os.path.isfile(os.path.join(folder, name)) and name not in leave_out)


def merged_index(shared, own):
    """The shared index with the platform's entries among its own, by keyword."""
    head, body = shared.split("<UL>\n", 1)
    body, tail = body.rsplit("</UL>", 1)
    entries = ENTRY.findall(body) + ENTRY.findall(own)
    entries.sort(key=lambda entry: NAME.search(entry).group(1).lower())
    return head + "<UL>\n" + "".join(entries) + "</UL>" + tail


def files_section(lines):
    """Where the project's [FILES] section lists its files: first, past the last."""
    start = lines.index("[FILES]") + 1
    end = start
    while end < len(lines) and lines[end].strip() and not lines[end].startswith("["):
        end += 1
    return start, end


def with_files(project, added):
    """The project file with added listed at the end of its [FILES] section."""
    lines = project.split("\n")
    _, end = files_section(lines)
    return "\n".join(lines[:end] + added + lines[end:])


def listed_files(project):
    lines = project.split("\n")
    start, end = files_section(lines)
    return [line.strip() for line in lines[start:end]]


def broken_links(stage):
    problems = []
    anchors = {}

    def anchors_of(name):
        if name not in anchors:
            with open(os.path.join(stage, name), encoding="latin-1") as page:
                anchors[name] = set(ANCHOR.findall(page.read()))
        return anchors[name]

    for name in os.listdir(stage):
        if not name.endswith((".htm", ".hhc", ".hhk")):
            continue
        with open(os.path.join(stage, name), encoding="latin-1") as page:
            text = page.read()
        for match in TARGET.finditer(text):
            target = match.group(1) or match.group(2)
            if ":" in target:
                continue  # another scheme: a web address, mail
            path, _, anchor = target.partition("#")
            path = path or name
            if not os.path.isfile(os.path.join(stage, path)):
                problems.append("%s: %s is not in the manual" % (name, target))
            elif anchor and path.endswith(".htm") and anchor not in anchors_of(path):
                problems.append("%s: %s has no anchor %s" % (name, path, anchor))
    return problems


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    platform, stage = sys.argv[1], sys.argv[2]
    own_folder = os.path.join(HERE, platform)
    if not os.path.isdir(own_folder):
        sys.exit("assemble.py: no topics for the platform %s" % platform)
    shared = files_of(HERE, NOT_MANUAL | {INDEX})
    own = files_of(own_folder, {INDEX})
    clashes = set(shared) & set(own)
    if clashes:
        sys.exit("assemble.py: %s both shared and %s's own" % (", ".join(sorted(clashes)), platform))

    # Emptied, not removed: the compiler is to run in it.
    os.makedirs(stage, exist_ok=True)
    for name in os.listdir(stage):
        path = os.path.join(stage, name)
        if os.path.isdir(path):
            shutil.rmtree(path)
        else:
            os.remove(path)
    for name in shared:
        shutil.copy(os.path.join(HERE, name), stage)
    for name in own:
        shutil.copy(os.path.join(own_folder, name), stage)

    with open(os.path.join(HERE, PROJECT), encoding="latin-1") as source:
        project = with_files(source.read(), own)
    with open(os.path.join(stage, PROJECT), "w", encoding="latin-1") as target:
        target.write(project)

    with open(os.path.join(HERE, INDEX), encoding="latin-1") as source:
        index = source.read()
    own_index = os.path.join(own_folder, INDEX)
    if os.path.isfile(own_index):
        with open(own_index, encoding="latin-1") as source:
            index = merged_index(index, source.read())
    with open(os.path.join(stage, INDEX), "w", encoding="latin-1") as target:
        target.write(index)

    problems = ["%s: %s is not in the manual" % (PROJECT, name)
                for name in listed_files(project) if not os.path.isfile(os.path.join(stage, name))]
    problems += broken_links(stage)
    if problems:
        sys.exit("assemble.py: the %s manual links to what it lacks:\n  %s" % (platform, "\n  ".join(problems)))


if __name__ == "__main__":
    main()
