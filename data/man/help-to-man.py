#!/usr/bin/env python3
"""Writes the manual pages of quorvel-cli from its own --help output.

    help-to-man.py CLI OUTDIR SOURCE [PAGE...]

Runs `CLI --help`, then `CLI NAME --help` for every subcommand it lists, and
writes quorvel-cli.1.gz and quorvel-cli-NAME.1.gz to OUTDIR; the PAGEs given
(hand-written roff) are compressed beside them. A subcommand added to the
program gets its page on the next build with nothing to change here; pages of
subcommands that are gone are removed.
"""

import gzip
import os
import re
import subprocess
import sys


def run_help(cli, *words):
    out = subprocess.run([cli, *words, "--help"], check=True, capture_output=True, text=True,
                         env=dict(os.environ, LC_ALL="C")).stdout
    return out


def parse(text):
    """CLI11's help: description, "Usage: ...", titled sections of entries, footer."""
    lines = text.rstrip("\n").split("\n")
    page = {"description": [], "usage": "", "sections": [], "footer": []}
    i = 0
    while i < len(lines) and not lines[i].startswith("Usage:"):
        if lines[i].strip():
            page["description"].append(lines[i].strip())
        i += 1
    if i == len(lines):
        sys.exit("help-to-man: no 'Usage:' line in the help")
    page["usage"] = lines[i][len("Usage:"):].strip()
    i += 1
    section = None
    for line in lines[i:]:
        if not line.strip():
            section = None
            continue
        m = re.match(r"^(\w[\w ]*):$", line)
        if m:
            section = (m.group(1), [])
            page["sections"].append(section)
            continue
        if section is not None:
            entry = re.match(r"^  (\S.*?)(?:\s{2,}(\S.*))?$", line)
            more = re.match(r"^\s{4,}(\S.*)$", line)
            if more and section[1] and not line.startswith("  -") and line.startswith("    "):
                section[1][-1][1].append(more.group(1))
            elif entry:
                section[1].append((entry.group(1), [entry.group(2)] if entry.group(2) else []))
            else:
                page["footer"].append(line.strip())
        else:
            page["footer"].append(line.strip())
    return page


def esc(text):
    """Plain text for roff: backslashes, option names' minus signs, no line starting with a control."""
    text = text.replace("\\", "\\e")
    text = re.sub(r"(?<![\w-])--?[A-Za-z][\w-]*", lambda m: m.group(0).replace("-", "\\-"), text)
    return "\n".join(("\\&" + l if l[:1] in (".", "'") else l) for l in text.split("\n"))


def esc_name(name):
    return name.replace("-", "\\-")


def entry_head(name):
    """'--object-size N' -> bold option, italic value; '-h,--help' -> both forms bold."""
    first, *rest = name.split(" ")
    head = ", ".join("\\fB" + esc(f) + "\\fR" for f in first.split(","))
    for word in rest:
        if word != "REQUIRED":  # the synopsis shows it without brackets
            head += " \\fI" + esc(word) + "\\fR"
    return head


def synopsis(usage):
    """'quorvel-cli inspect [OPTIONS] FILE': the command bold, the placeholders italic."""
    words = usage.split(" ")
    n = 0
    while n < len(words) and re.match(r"^[a-z][\w-]*$", words[n]):
        n += 1
    rest = re.sub(r"\b([A-Z][A-Z_]+)\b", r"\\fI\1\\fR", esc(" ".join(words[n:])))
    return "\\fB" + esc_name(" ".join(words[:n])) + "\\fR " + rest


def man_page(name, source, page, subcommands=None, see_also=()):
    out = []
    title = esc_name(name.upper())
    out.append('.TH "%s" "1" "" "%s" "User Commands"' % (title, source))
    out.append(".SH NAME")
    summary = " ".join(page["description"]) or name
    out.append("%s \\- %s" % (esc_name(name), esc(summary)))
    out.append(".SH SYNOPSIS")
    out.append(synopsis(page["usage"]))
    out.append(".SH DESCRIPTION")
    out.append(esc(summary.rstrip(".") + "."))
    for para in page["footer"]:
        out.append(".PP")
        out.append(esc(para))
    titles = {"Positionals": "ARGUMENTS", "Options": "OPTIONS", "Subcommands": "SUBCOMMANDS"}
    for sec_title, entries in page["sections"]:
        out.append(".SH " + titles.get(sec_title, sec_title.upper()))
        for entry_name, desc in entries:
            out.append(".TP")
            out.append(entry_head(entry_name))
            text = esc(" ".join(desc))
            if sec_title == "Subcommands":
                text = text.rstrip(".") + ". See \\fB%s\\fR(1)." % esc_name(name + "-" + entry_name)
            out.append(text)
    if see_also:
        out.append('.SH "SEE ALSO"')
        out.append(",\n".join("\\fB%s\\fR(1)" % esc_name(s) for s in see_also))
    return "\n".join(out) + "\n"


def write_gz(path, text):
    # No name or time in the header, so that a rebuild gives the same bytes.
    with open(path, "wb") as raw:
        with gzip.GzipFile(filename="", mode="wb", fileobj=raw, compresslevel=9, mtime=0) as f:
            f.write(text.encode("utf-8"))


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    cli, outdir, source, extra = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
    prog = os.path.basename(cli)
    os.makedirs(outdir, exist_ok=True)

    top = parse(run_help(cli))
    subs = [n for t, entries in top["sections"] if t == "Subcommands" for n, _ in entries]
    if not subs:
        sys.exit("help-to-man: %s --help lists no subcommands" % prog)
    pages = {prog: man_page(prog, source, top, subcommands=subs, see_also=["%s-%s" % (prog, s) for s in subs] +
                            ["quorvel"])}
    for sub in subs:
        page = parse(run_help(cli, sub))
        pages["%s-%s" % (prog, sub)] = man_page("%s-%s" % (prog, sub), source, page, see_also=[prog, "quorvel"])

    wanted = set()
    for name, text in pages.items():
        wanted.add(name + ".1.gz")
        write_gz(os.path.join(outdir, name + ".1.gz"), text)
    for path in extra:
        name = os.path.basename(path)
        wanted.add(name + ".gz")
        with open(path, encoding="utf-8") as f:
            write_gz(os.path.join(outdir, name + ".gz"), f.read())
    for old in os.listdir(outdir):
        if old.endswith(".1.gz") and old not in wanted:
            os.remove(os.path.join(outdir, old))


if __name__ == "__main__":
    main()
