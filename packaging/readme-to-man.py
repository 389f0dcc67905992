#!/usr/bin/env python3
"""Writes the manual page scadenzio-cli(1) from the README's "Command-line tool" section,
so the page and the README never tell two stories.

Usage: readme-to-man.py README.md VERSION DATE OUTPUT
"""
import re
import sys

SECTION = "## Command-line tool"


def section(lines):
    """The lines of the section, its own sub-sections included, up to the next section."""
    try:
        start = lines.index(SECTION)
    except ValueError:
        sys.exit("readme-to-man: the README has no '%s' section" % SECTION)
    out = []
    for line in lines[start + 1:]:
        if line.startswith("## "):
            break
        out.append(line)
    return out


def escape(text):
    text = text.replace("\\", "\\e")
    return text


def code(text):
    # In the installed page the tool is on the PATH, not in the build tree.
    text = text.replace("build/Scadenzio/scadenzio-cli", "scadenzio-cli")
    return escape(text).replace("-", "\\-")


def inline(text):
    parts = re.split(r"(`[^`]*`)", text)
    out = []
    for p in parts:
        if len(p) >= 2 and p.startswith("`") and p.endswith("`"):
            out.append("\\fB" + code(p[1:-1]) + "\\fR")
        else:
            p = escape(p)
            p = re.sub(r"\*\*([^*]+)\*\*", r"\\fB\1\\fR", p)
            p = re.sub(r"\[([^\]]+)\]\([^)]+\)", r"\1", p)
            out.append(p)
    return "".join(out)


def line_safe(text):
    # A roff line that begins with a dot or an apostrophe would be read as a request.
    if text.startswith(".") or text.startswith("'"):
        return "\\&" + text
    return text


def cells(row):
    return [c.strip() for c in row.strip().strip("|").split("|")]


def convert(body, version, date):
    out = ["'\\\" t",
           '.TH SCADENZIO\\-CLI 1 "%s" "Scadenzio %s" "Scadenzio"' % (date, version),
           ".SH NAME",
           "scadenzio-cli \\- the credit register and its dunning letters, without windows",
           ".SH SYNOPSIS",
           ".B scadenzio-cli",
           ".I command",
           "[\\fIoptions\\fR]",
           ".SH DESCRIPTION"]
    para = []

    def flush():
        if para:
            out.append(".PP")
            out.extend(line_safe(inline(l)) for l in para)
            para.clear()

    i = 0
    while i < len(body):
        line = body[i]
        if line.startswith("```"):
            flush()
            out.append(".PP")
            out.append(".nf")
            out.append(".RS 2")
            i += 1
            while i < len(body) and not body[i].startswith("```"):
                out.append(line_safe(code(body[i])) if body[i] else ".sp")
                i += 1
            out.append(".RE")
            out.append(".fi")
        elif line.startswith("### "):
            flush()
            out.append(".SH " + escape(line[4:].strip()).upper())
        elif line.startswith("|"):
            flush()
            rows = []
            while i < len(body) and body[i].startswith("|"):
                rows.append(cells(body[i]))
                i += 1
            i -= 1
            width = max(len(r) for r in rows)
            # Narrow columns cannot be justified without gaps: left-aligned, as a table reads.
            out.append(".ad l")
            out.append(".TS")
            out.append("tab(\t);")
            out.append(" ".join(["lb"] * width) + "")
            out.append(" ".join(["lx"] * width) + ".")
            for n, r in enumerate(rows):
                if all(re.fullmatch(r":?-+:?", c) for c in r):
                    out.append("_")
                    continue
                r = r + [""] * (width - len(r))
                out.append("\t".join("T{\n" + line_safe(inline(c)) + "\nT}" for c in r))
            out.append(".TE")
            out.append(".ad b")
        elif re.match(r"^- ", line):
            flush()
            item = [line[2:]]
            i += 1
            while i < len(body) and body[i].startswith("  ") and body[i].strip():
                item.append(body[i].strip())
                i += 1
            i -= 1
            out.append(".IP \\(bu 2")
            out.extend(line_safe(inline(l)) for l in item)
        elif not line.strip():
            flush()
        else:
            para.append(line.strip())
        i += 1
    flush()
    out.append(".SH FILES")
    out.append(".TP")
    out.append("\\fI~/.config/Scadenzio/Config/Config.ini\\fR")
    out.append("where the database is (section ConnectionString, key strConn)")
    out.append(".TP")
    out.append("\\fI~/Documenti/Scadenzio/\\fR")
    out.append("the database, the letters' archive and the backup (the documents folder of the desktop)")
    out.append(".SH SEE ALSO")
    out.append("The program's manual, \\fI/opt/Scadenzio/Help/manuale.pdf\\fR.")
    return "\n".join(out) + "\n"


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    readme, version, date, output = sys.argv[1:]
    with open(readme, encoding="utf-8") as f:
        lines = f.read().split("\n")
    page = convert(section(lines), version, date)
    with open(output, "w", encoding="utf-8") as f:
        f.write(page)


if __name__ == "__main__":
    main()
