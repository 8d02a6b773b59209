#!/usr/bin/env python3
"""Builds the three shipped language files from their plain UTF-8 sources.

The sources, resources/lang/source/{english,german,french}.tsv, hold one text per line as
"<number><TAB><text>" (numbers 0..287), a "heading<TAB><text>" line for the file's first line,
and comment lines starting with "#". The program reads the generated files: UTF-16 little-endian
with a byte-order mark, the heading as the first line, then one line per language string from 0
on, each ending in a line feed: the classic 128 (0 to 127) always, then the later texts up to the
highest number in use; numbers a source does not list become empty lines. Readers that know only
the classic 128 ignore the lines after them.

    scripts/make-language-files.py          rewrite resources/lang/*.txt
    scripts/make-language-files.py --check  only report whether they are up to date
"""

import argparse
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
LANG_DIR = ROOT / "resources" / "lang"
SOURCES = [("english.tsv", "StdEnglish.txt"),
           ("german.tsv", "stdGermen.txt"),
           ("french.tsv", "StdFrench.txt")]
CLASSIC_STRING_COUNT = 128
STRING_COUNT = 352

# Every number the program shows; all others must stay empty so that nobody mistakes them for
# texts in use.
USED = {0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 13, 14, 17, 19, 23, 25, 26, 27, 28, 30, 31, 32, 34,
        36, 40, 42, 44, 45, 46, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 62, 63, 65, 66,
        67, 70, 74, 75, 76, 78, 81, 82, 84, 89, 90, 91, 92, 93, 94, 95, 96, 98, 99, 100, 101,
        102, 103, 104, 105, 106, 107, 108, 109, 110, 111, 112, 113, 114, 115, 116, 117, 118, 119,
        120, 121, 122, 123, 124, 125, 126, 127, 140, 141, 142, 143, 144, 145, 146, 220, 230, 231, 232,
        233} | set(range(170, 206)) | set(range(207, 211)) | set(range(260, 276)) | {288, 289} | set(range(296, 298)) | set(range(316, 319)) | set(range(308, 313)) | {328}

# Texts the program uses as formats, with the number of integers it supplies.
FORMATS = {25: 0, 49: 0, 50: 0, 53: 0, 75: 2, 114: 1, 144: 2, 145: 1, 311: 1}
PROGRAM_TITLE = (115, "Veldrin")

CONVERSION = re.compile(r"%(%|[-+ 0]*[0-9]{0,2}[di])")


class SourceError(Exception):
    pass


def integer_conversions(text):
    """Number of integer conversions in text, or None when it holds anything else after a %."""
    count = 0
    pos = 0
    while True:
        pos = text.find("%", pos)
        if pos < 0:
            return count
        match = CONVERSION.match(text, pos)
        if not match:
            return None
        if match.group(1) != "%":
            count += 1
        pos = match.end()


def read_source(path):
    heading = None
    texts = {}
    for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        where = f"{path.name}:{number}"
        if not line.strip() or line.startswith("#"):
            continue
        key, tab, text = line.partition("\t")
        if not tab:
            raise SourceError(f"{where}: expected a number, a tab and the text")
        if text != text.rstrip():
            raise SourceError(f"{where}: trailing white space")
        if key == "heading":
            heading = text
            continue
        if not key.isdigit() or not 0 <= int(key) < STRING_COUNT:
            raise SourceError(f"{where}: '{key}' is not a string number from 0 to {STRING_COUNT - 1}")
        index = int(key)
        if index in texts:
            raise SourceError(f"{where}: string {index} given twice")
        if not text:
            raise SourceError(f"{where}: string {index} is empty; leave it out instead")
        texts[index] = text
    if heading is None:
        raise SourceError(f"{path.name}: no heading line")
    return heading, texts


def check_texts(name, texts):
    missing = sorted(USED - texts.keys())
    unused = sorted(texts.keys() - USED)
    if missing:
        raise SourceError(f"{name}: no text for {missing}")
    if unused:
        raise SourceError(f"{name}: texts for numbers the program does not use: {unused}")
    for index, text in texts.items():
        expected = FORMATS.get(index)
        if expected is not None and integer_conversions(text) != expected:
            raise SourceError(f"{name}: string {index} must hold exactly {expected} %d "
                              f"(write a percent sign as %%): {text!r}")
    index, title = PROGRAM_TITLE
    if texts[index] != title:
        raise SourceError(f"{name}: string {index} must be exactly {title!r}")


def build(heading, texts):
    count = max(CLASSIC_STRING_COUNT, max(USED) + 1)
    lines = ["\ufeff" + heading] + [texts.get(i, "") for i in range(count)]
    return "".join(line + "\n" for line in lines).encode("utf-16-le")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true",
                        help="do not write; fail when a shipped file differs from its source")
    args = parser.parse_args()

    stale = []
    try:
        for source, target in SOURCES:
            heading, texts = read_source(LANG_DIR / "source" / source)
            check_texts(source, texts)
            content = build(heading, texts)
            path = LANG_DIR / target
            if path.exists() and path.read_bytes() == content:
                continue
            if args.check:
                stale.append(target)
            else:
                tmp = path.with_name(path.name + ".tmp")
                tmp.write_bytes(content)
                tmp.replace(path)
                print(f"wrote {path.relative_to(ROOT)}")
    except SourceError as error:
        print(f"error: {error}", file=sys.stderr)
        return 1
    if stale:
        print("out of date (run scripts/make-language-files.py): " + ", ".join(stale),
              file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
