#!/usr/bin/env python3
"""Writes the manual pages of quorvel-cli from its own --help output.

    help-to-man.py CLI OUTDIR SOURCE [--window QUORVEL] [PAGE...]

Runs `CLI --help`, then `CLI NAME --help` for every subcommand it lists, and
writes quorvel-cli.1.gz and quorvel-cli-NAME.1.gz to OUTDIR; the PAGEs given
(hand-written roff) are compressed beside them. A subcommand added to the
program gets its page on the next build with nothing to change here; pages of
subcommands that are gone are removed.

With --window, `QUORVEL --commands` lists the window's toolbar buttons, menus
and shortcuts, and a page's lines `.\" [window commands]` and
`.\" [window keys]` become its TOOLBAR and MENUS sections and its list of
shortcuts; a new button or menu entry gets documented the same way.
"""

import gzip
import os
import re
import subprocess
import sys
import tempfile


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


def roff_text(text):
    """esc(), and characters outside ASCII as groff's named glyphs."""
    return "".join(c if ord(c) < 128 else "\\[u%04X]" % ord(c) for c in esc(text))


def window_commands(quorvel):
    """(place, name, keys, description) of each command, as `quorvel --commands` lists them."""
    # A home of its own: nothing of the builder's settings (recent files) gets into the page.
    with tempfile.TemporaryDirectory() as home:
        env = dict(os.environ, LC_ALL="C.UTF-8", HOME=home, XDG_CONFIG_HOME=home, XDG_RUNTIME_DIR=home)
        out = subprocess.run([quorvel, "--commands"], check=True, capture_output=True, env=env).stdout
    commands = []
    for line in out.decode("utf-8").splitlines():
        place, name, keys, what = line.split("\t")
        # The tooltips start with the button's name and end with its keys; the page shows both already.
        head = name.rstrip("\u2026")
        if what.lower().startswith(head.lower() + ": "):
            what = what[len(head) + 2:]
            what = what[:1].upper() + what[1:]
        if keys and what.endswith("(%s)" % keys):
            what = what[:-len(keys) - 2].rstrip()
        if what and not what.endswith("."):
            what += "."
        commands.append((place, name, keys, what))
    if not any(place == "toolbar" for place, *_ in commands):
        sys.exit("help-to-man: %s --commands lists no toolbar button" % quorvel)
    return commands


def command_entry(name, keys, what):
    head = "\\fB%s\\fR" % roff_text(name)
    if keys:
        head += " (\\fB%s\\fR)" % roff_text(keys)
    return [".TP", head, roff_text(what) if what else "\\&"]


def window_sections(commands):
    out = [".SH TOOLBAR", "From left to right:"]
    for place, name, keys, what in commands:
        if place == "toolbar":
            out += command_entry(name, keys, what)
    menus = []
    for place, *_ in commands:
        if place.startswith("menu ") and place not in menus:
            menus.append(place)
    if menus:
        out.append(".SH MENUS")
        for menu in menus:
            out.append('.SS "%s"' % roff_text(menu[len("menu "):].replace("/", " > ")))
            for place, name, keys, what in commands:
                if place == menu:
                    out += command_entry(name, keys, what)
    return out


def window_keys(commands):
    out = []
    for place, name, keys, what in commands:
        if not keys:
            continue
        where = {"toolbar": "the toolbar button", "keys": "in the window"}.get(place)
        if where is None:
            where = "in the %s menu" % place[len("menu "):].replace("/", " > ")
        out += [".TP", "\\fB%s\\fR" % roff_text(keys), "%s, %s." % (roff_text(name), roff_text(where))]
    return out


def fill_window_page(text, commands):
    lines = []
    for line in text.split("\n"):
        if line.strip() == '.\\" [window commands]':
            lines += window_sections(commands) if commands is not None else []
        elif line.strip() == '.\\" [window keys]':
            lines += window_keys(commands) if commands is not None else []
        else:
            lines.append(line)
    return "\n".join(lines)


def write_gz(path, text):
    # No name or time in the header, so that a rebuild gives the same bytes.
    with open(path, "wb") as raw:
        with gzip.GzipFile(filename="", mode="wb", fileobj=raw, compresslevel=9, mtime=0) as f:
            f.write(text.encode("utf-8"))


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    cli, outdir, source, extra = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
    commands = None
    if extra[:1] == ["--window"]:
        commands = window_commands(extra[1])
        extra = extra[2:]
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
            write_gz(os.path.join(outdir, name + ".gz"), fill_window_page(f.read(), commands))
    for old in os.listdir(outdir):
        if old.endswith(".1.gz") and old not in wanted:
            os.remove(os.path.join(outdir, old))


if __name__ == "__main__":
    main()
