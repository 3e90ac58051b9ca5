#!/usr/bin/env python3
"""The user's guide: checks its Markdown against the window and turns it into one HTML page.

    guide.py check GUIDE.md --texts app/texts.h app/form.cpp module/config_settings.h
    guide.py build GUIDE.md --texts ... --pictures DIR --out OUT.html [--title T]

Every text in guillemets («...») is a text of the window, so it must be one of the string
literals of the given sources (a whole literal, or one line of a literal that holds several).
«Начало…» stands for a text that begins with "Начало", «…конец» for one that ends so. Every
picture the guide names must be in DIR, and every picture in DIR must be named by the guide:
a page added to the window needs its section. `build` writes OUT.html and copies the pictures
beside it. A failed check prints each fault with its line and exits with 1.
"""
import argparse
import html
import re
import shutil
import sys
from pathlib import Path

ELLIPSIS = "…"
QUOTE = re.compile(r"«([^«»\n]+)»")
PICTURE = re.compile(r"!\[[^\]]*\]\(([^)\s]+)\)")
ESCAPES = {"n": "\n", "r": "\r", "t": "\t", '"': '"', "'": "'", "\\": "\\", "0": "\0"}


def string_literals(source):
    """The string literals of a C++ source, adjacent ones joined, comments skipped."""
    literals, i, n = [], 0, len(source)
    joining = False  # the previous token was a literal: one that follows continues it
    while i < n:
        c = source[i]
        if source.startswith("//", i):
            i = source.find("\n", i)
            i = n if i < 0 else i
        elif source.startswith("/*", i):
            end = source.find("*/", i + 2)
            i = n if end < 0 else end + 2
        elif c == "'":  # a character literal: skipped whole
            i += 1
            while i < n and source[i] != "'":
                i += 2 if source[i] == "\\" else 1
            i += 1
            joining = False
        elif c == '"':
            i += 1
            text = []
            while i < n and source[i] != '"':
                if source[i] == "\\" and i + 1 < n:
                    text.append(ESCAPES.get(source[i + 1], source[i + 1]))
                    i += 2
                else:
                    text.append(source[i])
                    i += 1
            i += 1
            if joining:
                literals[-1] += "".join(text)
            else:
                literals.append("".join(text))
            joining = True
        else:
            if not c.isspace():
                joining = False
            i += 1
    return literals


def window_texts(paths):
    texts = set()
    for path in paths:
        for literal in string_literals(Path(path).read_text(encoding="utf-8")):
            texts.add(literal)
            texts.update(line for line in re.split(r"[\r\n]+", literal) if line)
    texts.discard("")
    return texts


def prose_lines(markdown):
    """(line number, line) of the guide outside code blocks, with inline code blanked."""
    fenced = False
    for number, line in enumerate(markdown.splitlines(), 1):
        if line.lstrip().startswith("```"):
            fenced = not fenced
            continue
        if fenced or line.startswith("    "):
            continue
        yield number, re.sub(r"`[^`]*`", "``", line)


def quote_known(quote, texts):
    if quote in texts:
        return True
    if quote.endswith(ELLIPSIS):
        begin = quote[:-1].rstrip()
        return begin != "" and any(t.startswith(begin) for t in texts)
    if quote.startswith(ELLIPSIS):
        end = quote[1:].lstrip()
        return end != "" and any(t.endswith(end) for t in texts)
    return False


def check_quotes(markdown, texts, guide_name):
    faults = []
    for number, line in prose_lines(markdown):
        for quote in QUOTE.findall(line):
            if not quote_known(quote, texts):
                faults.append(f"{guide_name}:{number}: «{quote}» is no text of the window")
    return faults


def named_pictures(markdown):
    return [(number, name) for number, line in prose_lines(markdown) for name in PICTURE.findall(line)]


def check_pictures(markdown, pictures, guide_name):
    faults = []
    named = named_pictures(markdown)
    for number, name in named:
        if not (pictures / name).is_file():
            faults.append(f"{guide_name}:{number}: picture {name} is missing from {pictures}")
    names = {name for _, name in named}
    for picture in sorted(pictures.glob("*.png")):
        if picture.name not in names:
            faults.append(f"{guide_name}: picture {picture.name} of {pictures} is not in the guide")
    return faults


PAGE = """<!DOCTYPE html>
<html lang="ru">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>{title}</title>
<style>
body {{ font-family: "DejaVu Sans", "Segoe UI", Arial, sans-serif; line-height: 1.45;
       max-width: 56em; margin: 1em auto; padding: 0 1em; color: #1a1a1a; }}
h1, h2, h3 {{ line-height: 1.2; }}
h2 {{ border-bottom: 1px solid #ccc; padding-bottom: .2em; margin-top: 2em; }}
img {{ max-width: 100%; border: 1px solid #bbb; display: block; margin: .6em 0 1.2em; }}
code, pre {{ font-family: "DejaVu Sans Mono", Consolas, monospace; font-size: .92em; }}
pre {{ background: #f4f4f4; padding: .6em .8em; overflow-x: auto; }}
table {{ border-collapse: collapse; margin: .6em 0 1.2em; }}
th, td {{ border: 1px solid #bbb; padding: .25em .5em; vertical-align: top; text-align: left; }}
th {{ background: #eee; }}
.toc {{ background: #f8f8f8; border: 1px solid #ddd; padding: .2em 1em; }}
</style>
</head>
<body>
{body}
</body>
</html>
"""


def render(markdown, title):
    import markdown as md  # python3-markdown

    body = md.markdown(markdown, extensions=["tables", "fenced_code", "toc", "sane_lists", "attr_list"],
                       extension_configs={"toc": {"toc_depth": "2-3"}}, output_format="html")
    return PAGE.format(title=html.escape(title), body=body)


def main(argv):
    parser = argparse.ArgumentParser(description="Check the user's guide and make its HTML page.")
    parser.add_argument("action", choices=["check", "build"])
    parser.add_argument("guide", type=Path)
    parser.add_argument("--texts", nargs="+", required=True, help="sources whose literals are the window's texts")
    parser.add_argument("--pictures", type=Path, help="folder of the window's pictures (build)")
    parser.add_argument("--out", type=Path, help="the HTML page to write (build)")
    parser.add_argument("--title", default="ЛИРВАН НЦ-31: руководство пользователя")
    args = parser.parse_args(argv)

    markdown = args.guide.read_text(encoding="utf-8")
    faults = check_quotes(markdown, window_texts(args.texts), args.guide.name)
    if args.action == "build":
        if args.pictures is None or args.out is None:
            parser.error("build needs --pictures and --out")
        faults += check_pictures(markdown, args.pictures, args.guide.name)
    for fault in faults:
        print(fault, file=sys.stderr)
    if faults:
        return 1
    if args.action == "build":
        args.out.parent.mkdir(parents=True, exist_ok=True)
        for name in sorted({name for _, name in named_pictures(markdown)}):
            shutil.copyfile(args.pictures / name, args.out.parent / name)
        args.out.write_text(render(markdown, args.title), encoding="utf-8")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
