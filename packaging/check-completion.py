#!/usr/bin/env python3
"""Checks the bash completion against the tool itself: every command, sub-command and
option that scadenzio-cli's usage names must be offered where the user would press Tab.

Usage: check-completion.py SCADENZIO-CLI COMPLETION-FILE
"""
import re
import subprocess
import sys


def usage_entries(cli):
    """(command, sub-command or None, options) for every usage entry of the tool."""
    r = subprocess.run([cli], capture_output=True, text=True, timeout=60)
    if r.returncode != 2 or "Uso:" not in r.stderr:
        sys.exit("scadenzio-cli without arguments did not print its usage (exit %d)" % r.returncode)
    entries = []
    for line in r.stderr.splitlines():
        m = re.match(r"^  scadenzio-cli (\S+)(?: (\S+))?(.*)$", line)
        if m:
            command, second, rest = m.group(1), m.group(2) or "", m.group(3)
            subs = [None]
            # A sub-command is a lower-case word (or words joined by "|"); capitals, brackets
            # and quotes are arguments.
            if re.fullmatch(r"[a-z]+(\|[a-z]+)*", second):
                subs = second.split("|")
            else:
                rest = second + rest
            entries.append([command, subs, set(re.findall(r"--[a-z][a-z-]*", rest))])
        elif entries and re.match(r"^ {8,}\[", line):
            # A usage line continued on the next.
            entries[-1][2].update(re.findall(r"--[a-z][a-z-]*", line))
    if not entries:
        sys.exit("no usage entries found in scadenzio-cli's usage")
    return entries


def complete(completion, words):
    """What the completion offers with the cursor on the last of words."""
    script = 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(( $# - 1 )); _scadenzio_cli; printf "%s\\n" "${COMPREPLY[@]}"'
    r = subprocess.run(["bash", "-c", script, "check", completion] + words,
                       capture_output=True, text=True, timeout=60)
    if r.returncode != 0:
        sys.exit("the completion failed on %s: %s" % (" ".join(words), r.stderr))
    return set(filter(None, r.stdout.splitlines()))


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    cli, completion = sys.argv[1:]
    entries = usage_entries(cli)
    missing = []
    commands = complete(completion, ["scadenzio-cli", ""])
    checked = 0
    for command, subs, options in entries:
        checked += 1
        if command not in commands:
            missing.append("command %s" % command)
            continue
        for sub in subs:
            words = ["scadenzio-cli", command]
            if sub:
                if sub not in complete(completion, words + [""]):
                    missing.append("sub-command %s %s" % (command, sub))
                    continue
                words.append(sub)
            if options:
                offered = complete(completion, words + ["--"])
                for o in sorted(options - offered):
                    missing.append("option %s of %s" % (o, " ".join(words[1:])))
    if missing:
        print("The bash completion does not offer:\n  " + "\n  ".join(missing))
        return 1
    print("bash completion: %d usage entries, every command, sub-command and option offered" % checked)
    return 0


if __name__ == "__main__":
    sys.exit(main())
