#!/usr/bin/env python3
"""Checks the generated manual page and completions against the program:
every command its --help lists has a section in the manual page (English
and German), is offered
by the bash completion after the words before it (also past a global
option's value), and has its case in the zsh completion.

    check_docs.py KOLVANEX DOCDIR
"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gen_docs  # noqa: E402


def bash_offers(completion, words):
    """What the bash completion offers for the last (empty) word after `words`."""
    script = (f"source {completion}\n"
              "COMP_WORDS=(\"$@\" ''); COMP_CWORD=$#\n"
              "_kolvanex\n"
              "printf '%s\\n' \"${COMPREPLY[@]}\"\n")
    done = subprocess.run(["bash", "-c", script, "bash", "kolvanex", *words],
                          capture_output=True, text=True, check=True)
    return set(done.stdout.split())


def main():
    program, docdir = sys.argv[1], sys.argv[2]
    root = gen_docs.read_program(program)
    manual = open(os.path.join(docdir, "kolvanex.1"), encoding="utf-8").read()
    german = open(os.path.join(docdir, "kolvanex.de.1"), encoding="utf-8").read()
    zsh = open(os.path.join(docdir, "_kolvanex"), encoding="utf-8").read()
    completion = os.path.join(docdir, "kolvanex.bash")
    errors = []
    commands = list(gen_docs.walk(root))
    if len(root.commands) < 10:
        errors.append(f"only {len(root.commands)} commands read from --help")
    for command in commands:
        words = " ".join(command.path)
        expected = set(gen_docs.words_of(command))
        offered = bash_offers(completion, command.path)
        if offered != expected:
            errors.append(f"bash after '{words}': offers {sorted(offered)}, "
                          f"--help lists {sorted(expected)}")
        for page, text in (("manual page", manual), ("German manual page", german)):
            if command.path and f'.SS "{gen_docs.roff(words)}"' not in text:
                errors.append(f"{page}: no section for '{words}'")
        if command.path and f"('{words}') entries=(" not in zsh:
            errors.append(f"zsh: no case for '{words}'")
    # A global option's value is not taken for a command.
    value_option = next(o for o in root.options if o.value)
    if bash_offers(completion, [value_option.names[-1], "machine"]) != \
            set(gen_docs.words_of(root)):
        errors.append(f"bash takes the value of {value_option.names[-1]} for a command")
    for error in errors:
        print(error)
    if errors:
        sys.exit(1)
    print(f"docs: {len(commands) - 1} commands in the manual page and both completions")


if __name__ == "__main__":
    main()
