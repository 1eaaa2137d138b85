#!/usr/bin/env python3
"""The manual pages made from --help: a page per subcommand, new ones picked
up and old ones removed, and what the help says in the right sections.

A stand-in program prints help in CLI11's layout; its subcommands are chosen
per run, as if someone added or removed one.
Usage: test_help_to_man.py HELP_TO_MAN WORKDIR
"""
import gzip
import os
import shutil
import subprocess
import sys

generator, work = sys.argv[1], sys.argv[2]
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
failures = []


def expect(cond, what):
    if not cond:
        failures.append(what)


FAKE = r'''#!/usr/bin/env python3
import os, sys
subs = os.environ["FAKE_SUBS"].split(",")
about = {"alpha": "Do the first thing", "beta-gamma": "Do another, longer thing. Twice", "export": "Write a file"}
args = [a for a in sys.argv[1:] if a != "--help"]
if not args:
    print("Fake planner for tests\nUsage: fake [OPTIONS] SUBCOMMAND\n\nOptions:\n"
          "  -h,--help                   Print this help message and exit\n"
          "  --version                   Print the version and exit\n\nSubcommands:")
    for s in subs:
        print("  %-27s %s" % (s, about[s]))
    print("\nExit status: 0 on success.\n.starts with a dot\\backslash")
else:
    s = args[0]
    print("%s\nUsage: fake %s [OPTIONS] FILE\n\nPositionals:\n  FILE PATH REQUIRED          the input\n\n"
          "Options:\n  -h,--help                   Print this help message and exit\n"
          "  --size N                    a length (whole number 10..2000 mm, default 250)\n"
          "  --a-really-long-option-name-here TEXT\n"
          "                              wrapped onto its own line\n\n"
          "A footer for %s." % (about[s], s, s))
'''
fake = os.path.join(work, "fake")
with open(fake, "w") as f:
    f.write(FAKE)
os.chmod(fake, 0o755)
out = os.path.join(work, "man1")
extra = os.path.join(work, "window.1")
with open(extra, "w") as f:
    f.write('.TH "WINDOW" "1"\n.SH NAME\nwindow \\- a window\n')


def generate(subs):
    env = dict(os.environ, FAKE_SUBS=",".join(subs))
    subprocess.run([sys.executable, generator, fake, out, "Fake 9.8.7", extra], check=True, env=env)
    return sorted(os.listdir(out))


def page(name):
    with gzip.open(os.path.join(out, name + ".1.gz"), "rt", encoding="utf-8") as f:
        return f.read()


files = generate(["alpha", "beta-gamma"])
expect(files == ["fake-alpha.1.gz", "fake-beta-gamma.1.gz", "fake.1.gz", "window.1.gz"], "pages: %s" % files)

top = page("fake")
expect('.TH "FAKE" "1" "" "Fake 9.8.7" "User Commands"' in top, "title line of fake(1)")
expect("\n.SH NAME\nfake \\- Fake planner for tests\n" in top, "NAME of fake(1)")
expect("\\fBfake\\fR [\\fIOPTIONS\\fR] \\fISUBCOMMAND\\fR" in top, "SYNOPSIS of fake(1)")
expect(".TP\n\\fBbeta-gamma\\fR\nDo another, longer thing. Twice. See \\fBfake\\-beta\\-gamma\\fR(1).\n" in top,
       "subcommand entry with its page")
expect(".TP\n\\fB\\-h\\fR, \\fB\\-\\-help\\fR\n" in top, "short and long option")
expect(".PP\nExit status: 0 on success.\n.PP\n\\&.starts with a dot\\ebackslash\n" in top,
       "footer lines as paragraphs; a leading dot and a backslash escaped")
expect("\\fBfake\\-alpha\\fR(1),\n\\fBfake\\-beta\\-gamma\\fR(1),\n\\fBquorvel\\fR(1)" in top, "SEE ALSO of fake(1)")

sub = page("fake-beta-gamma")
expect("\n.SH NAME\nfake\\-beta\\-gamma \\- Do another, longer thing. Twice\n" in sub, "NAME of a subcommand")
expect("\\fBfake beta\\-gamma\\fR [\\fIOPTIONS\\fR] \\fIFILE\\fR" in sub, "SYNOPSIS of a subcommand")
expect(".SH ARGUMENTS\n.TP\n\\fBFILE\\fR \\fIPATH\\fR\nthe input\n" in sub, "positional without REQUIRED")
expect(".TP\n\\fB\\-\\-size\\fR \\fIN\\fR\na length (whole number 10..2000 mm, default 250)\n" in sub,
       "option with its value and millimetres")
expect(".TP\n\\fB\\-\\-a\\-really\\-long\\-option\\-name\\-here\\fR \\fITEXT\\fR\nwrapped onto its own line\n" in sub,
       "a long option's description on the next line")
expect(".SH DESCRIPTION\nDo another, longer thing. Twice.\n.PP\nA footer for beta-gamma.\n" in sub,
       "description and footer")

# Someone adds "export" and removes "alpha": the pages follow.
files = generate(["beta-gamma", "export"])
expect(files == ["fake-beta-gamma.1.gz", "fake-export.1.gz", "fake.1.gz", "window.1.gz"], "pages after: %s" % files)
expect("See \\fBfake\\-export\\fR(1)." in page("fake") and "alpha" not in page("fake"), "fake(1) after the change")

# Rebuilding gives the same bytes (no time or name in the gzip header).
with open(os.path.join(out, "fake.1.gz"), "rb") as f:
    before = f.read()
generate(["beta-gamma", "export"])
with open(os.path.join(out, "fake.1.gz"), "rb") as f:
    expect(f.read() == before, "a rebuild changes fake.1.gz")

# man itself reads every page without a warning.
if shutil.which("man"):
    for name in files:
        r = subprocess.run(["man", "--warnings", "-l", os.path.join(out, name)], capture_output=True, text=True,
                           env=dict(os.environ, MANWIDTH="80", LC_ALL="C.UTF-8"))
        expect(r.returncode == 0 and not r.stderr.strip(), "man warns on %s: %s" % (name, r.stderr.strip()))

for f in failures:
    print("FAILED:", f)
sys.exit(1 if failures else 0)
