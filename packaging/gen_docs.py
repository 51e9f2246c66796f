#!/usr/bin/env python3
"""Writes the manual page kolvanex.1 and the bash and zsh completions of the
console host from its own --help, so they always name the commands the
binary really has.

    gen_docs.py KOLVANEX OUTDIR [VERSION]

The help is read from the built program: the top-level help, then the help
of each command and sub-command it lists. The completions and kolvanex.1
take the English help (LANGUAGE and the locale set to C), kolvanex.de.1 the
German one.
"""
import os
import re
import subprocess
import sys
import tempfile
from dataclasses import dataclass, field

KNOWN_SECTIONS = {"options", "positionals", "subcommands"}
HEADING = re.compile(r"^([A-Za-z][A-Za-z ]*):\s*$")
# The help's own words in each language: the LANGUAGE it is read with, the
# label of its usage line and its headings by the section they open.
HELP_WORDS = {
    "en": {"LANGUAGE": "C", "usage": "Usage:",
           "headings": {"options": "options", "positionals": "positionals",
                        "subcommands": "subcommands", "commands": "subcommands"}},
    "de": {"LANGUAGE": "de_DE.UTF-8", "usage": "Aufruf:",
           "headings": {"optionen": "options", "argumente": "positionals",
                        "befehle": "subcommands"}},
}
# "  --passes INT     overwrite passes": the name column, then two blanks.
ENTRY = re.compile(r"^  (\S.*?)(?:\s{2,}(.*))?$")
NOT_A_VALUE = {"Excludes:", "Needs:", "REQUIRED", "braucht:", "PFLICHT"}


@dataclass
class Option:
    names: list  # "-h", "--help"
    value: str  # the value's kind ("TEXT", "INT"), empty for a flag
    text: str


@dataclass
class Command:
    path: list  # [] for the program itself, ["machine", "init"], ...
    about: str = ""
    usage: str = ""
    options: list = field(default_factory=list)
    positionals: list = field(default_factory=list)  # (name, text)
    commands: list = field(default_factory=list)  # (name, text)
    extra: list = field(default_factory=list)  # lines of any other section, as written
    children: list = field(default_factory=list)


def run_help(program, path, language="en"):
    with tempfile.TemporaryDirectory() as scratch:
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": scratch,
               "LANGUAGE": HELP_WORDS[language]["LANGUAGE"], "LC_ALL": "C", "LANG": "C",
               "KOLVANEX_PREFIX": os.path.join(scratch, "machine"), "XDG_DATA_HOME": scratch}
        done = subprocess.run([program, *path, "--help"], env=env, capture_output=True,
                              text=True, encoding="utf-8", timeout=60, check=False)
    if done.returncode != 0:
        sys.exit(f"gen_docs: '{' '.join(['kolvanex', *path, '--help'])}' failed: {done.stderr}")
    return done.stdout


def parse_option(column, text):
    words = column.split()
    names = [n for n in words[0].split(",") if n.startswith("-")]
    value = ""
    if len(words) > 1 and words[1] not in NOT_A_VALUE and re.match(r"^\[?[A-Z]", words[1]):
        value = words[1]
    return Option(names, value, text)


def parse(program, text, path, language="en"):
    words_of_help = HELP_WORDS[language]
    usage = words_of_help["usage"]
    command = Command(path)
    about, section, last = [], None, None
    for line in text.splitlines():
        if line.startswith(usage):
            # "Usage: ./build/kolvanex machine init [OPTIONS]": the program's
            # own path, the command's names, then what follows them.
            words = line[len(usage):].split()
            command.usage = " ".join(["kolvanex", *path, *words[1 + len(path):]])
            section = "after-usage"
            continue
        if section is None:
            if line.strip():
                about.append(line.strip())
            continue
        heading = HEADING.match(line)
        name = words_of_help["headings"].get(heading.group(1).lower()) if heading else None
        if name:
            section, last = name, None
            continue
        entry = ENTRY.match(line) if section in KNOWN_SECTIONS else None
        if entry:
            column, desc = entry.group(1).strip(), (entry.group(2) or "").strip()
            if section == "options":
                last = parse_option(column, desc)
                command.options.append(last)
            elif section == "positionals":
                command.positionals.append([column, desc])
            else:
                command.commands.append([column.split()[0], desc])
            continue
        if section in KNOWN_SECTIONS and line.startswith("    ") and line.strip():
            # A description carried over to the next line.
            if section == "options" and last:
                last.text = (last.text + " " + line.strip()).strip()
            continue
        if not line.strip() and section in KNOWN_SECTIONS:
            section = "after-usage"
            continue
        if line.strip() or command.extra:
            command.extra.append(line.rstrip())
    while command.extra and not command.extra[-1]:
        command.extra.pop()
    command.about = " ".join(about)
    for name, _ in command.commands:
        child_path = [*path, name]
        command.children.append(parse(program, run_help(program, child_path, language),
                                      child_path, language))
    return command


def read_program(program, language="en"):
    return parse(program, run_help(program, [], language), [], language)


def walk(command):
    yield command
    for child in command.children:
        yield from walk(child)


# ---- the manual page ----

def roff(text):
    text = text.replace("\\", "\\e").replace("-", "\\-")
    return "\\&" + text if text.startswith((".", "'")) else text


def man_options(options):
    out = []
    for option in options:
        names = ", ".join(f"\\fB{roff(n)}\\fR" for n in option.names)
        value = f" \\fI{roff(option.value)}\\fR" if option.value else ""
        out += [".TP", names + value, roff(option.text)]
    return out


# The manual page's own words in each language.
MAN_WORDS = {
    "en": {
        "title": "User Commands",
        "sections": ["NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "COMMANDS", "EXIT STATUS",
                     "ENVIRONMENT", "FILES", "NOTES", "SEE ALSO"],
        "usage": "Usage:", "commands": "Commands:",
        "description":
            "The console host of the Kolvanex privacy suite: it cleans usage tracks, destroys "
            "files by overwriting them, encrypts files and routes browsers through anonymous "
            "proxies, on a \\fImachine prefix\\fR laid out like a Windows system. Paths given to "
            "its commands are Windows paths of that machine (\\fBC:\\e...\\fR).",
        "statuses": ["success", "the operation failed",
                     "bad input (an unknown command, a wrong option or value)",
                     "cancelled (Ctrl+C)"],
        "prefix": "the machine prefix; else \\fB$XDG_DATA_HOME/kolvanex/machine\\fR, else "
                  "\\fB~/.local/share/kolvanex/machine\\fR",
        "companions": "the companion programs that \\fBmachine init\\fR copies into the machine",
        "data": "the data files (proxy script template, ad filter, registry files) that "
                "\\fBmachine init\\fR copies into the machine when missing",
        "notes":
            "Overwriting a file destroys its old content only where the file system writes in "
            "place. Journaling file systems, copy-on-write file systems (btrfs, ZFS), snapshots, "
            "and flash storage with wear levelling (SSDs, USB sticks, SD cards) may keep old "
            "blocks that no overwrite reaches; see \\fBshred\\fR(1).",
    },
    "de": {
        "title": "Benutzerbefehle",
        "sections": ["NAME", "ÜBERSICHT", "BESCHREIBUNG", "OPTIONEN", "BEFEHLE", "EXIT-STATUS",
                     "UMGEBUNG", "DATEIEN", "ANMERKUNGEN", "SIEHE AUCH"],
        "usage": "Aufruf:", "commands": "Befehle:",
        "description":
            "Die Konsole der Datenschutz-Suite Kolvanex: sie entfernt Nutzungsspuren, vernichtet "
            "Dateien durch Überschreiben, verschlüsselt Dateien und leitet Browser über anonyme "
            "Proxys, auf einem \\fIMaschinen-Präfix\\fR, das wie ein Windows-System aufgebaut "
            "ist. Pfade für ihre Befehle sind Windows-Pfade dieser Maschine "
            "(\\fBC:\\e...\\fR).",
        "statuses": ["Erfolg", "der Vorgang ist fehlgeschlagen",
                     "fehlerhafte Eingabe (ein unbekannter Befehl, eine falsche Option oder ein "
                     "falscher Wert)",
                     "abgebrochen (Strg+C)"],
        "prefix": "das Maschinen-Präfix; sonst \\fB$XDG_DATA_HOME/kolvanex/machine\\fR, sonst "
                  "\\fB~/.local/share/kolvanex/machine\\fR",
        "companions": "die Begleitprogramme, die \\fBmachine init\\fR in die Maschine kopiert",
        "data": "die Datendateien (Vorlage des Proxy-Skripts, Werbefilter, Registry-Dateien), die "
                "\\fBmachine init\\fR in die Maschine kopiert, wo sie fehlen",
        "notes":
            "Überschreiben vernichtet den alten Inhalt einer Datei nur, wo das Dateisystem an "
            "Ort und Stelle schreibt. Journaling-Dateisysteme, Copy-on-Write-Dateisysteme (btrfs, "
            "ZFS), Snapshots und Flash-Speicher mit Wear-Levelling (SSDs, USB-Sticks, SD-Karten) "
            "können alte Blöcke behalten, die kein Überschreiben erreicht; siehe "
            "\\fBshred\\fR(1).",
    },
}


def manual(root, version, language="en"):
    words = MAN_WORDS[language]
    (name_sh, synopsis_sh, description_sh, options_sh, commands_sh, status_sh, environment_sh,
     files_sh, notes_sh, see_also_sh) = words["sections"]
    out = [f'.TH KOLVANEX 1 "" "kolvanex {version}" "{words["title"]}"', f".SH {name_sh}",
           f"kolvanex \\- {roff(root.about.split(' - ', 1)[-1])}", f".SH {synopsis_sh}",
           f"\\fBkolvanex\\fR {roff(root.usage.split(' ', 1)[1])}", f".SH {description_sh}",
           words["description"], f".SH {options_sh}", *man_options(root.options)]
    if root.extra:
        out += [".PP", ".nf", *[roff(line) for line in root.extra], ".fi"]
    out.append(f".SH {commands_sh}")
    for command in list(walk(root))[1:]:
        out += [f'.SS "{roff(" ".join(command.path))}"', roff(command.about), ".PP",
                f"\\fB{words['usage']}\\fR {roff(command.usage)}"]
        for name, text in command.positionals:
            out += [".TP", f"\\fI{roff(name.split()[0])}\\fR", roff(text)]
        out += man_options([o for o in command.options if "--help" not in o.names])
        if command.commands:
            out += [".PP", f"{words['commands']} " + ", ".join(
                f"\\fB{roff(n)}\\fR" for n, _ in command.commands) + "."]
        if command.extra:
            out += [".PP", ".nf", *[roff(line) for line in command.extra], ".fi"]
    out.append(f".SH {status_sh}")
    for status, text in zip(("0", "1", "2", "130"), words["statuses"]):
        out += [".TP", status, text]
    out += [f".SH {environment_sh}",
            ".TP", "\\fBKOLVANEX_PREFIX\\fR", words["prefix"],
            f".SH {files_sh}",
            ".TP", "\\fI/usr/libexec/kolvanex/\\fR", words["companions"],
            ".TP", "\\fI/usr/share/kolvanex/\\fR", words["data"],
            f".SH {notes_sh}", words["notes"],
            f".SH {see_also_sh}", "\\fBshred\\fR(1)"]
    return "\n".join(out) + "\n"


# ---- the completions ----

def value_options(root):
    return sorted({n for c in walk(root) for o in c.options if o.value for n in o.names})


def words_of(command):
    return [n for n, _ in command.commands] + [n for o in command.options for n in o.names]


def bash_completion(root):
    paths = [" ".join(c.path) for c in walk(root)][1:]
    known = "|".join(f'"{p}"' for p in paths)
    cases = "\n".join(f'        "{" ".join(c.path)}") words="{" ".join(words_of(c))}" ;;'
                      for c in walk(root))
    return f"""# bash completion for kolvanex (generated from its --help)
_kolvanex() {{
    local cur=${{COMP_WORDS[COMP_CWORD]}} path="" word i words=""
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${{COMP_WORDS[i]}}
        case $word in
            {"|".join(value_options(root))}) ((i++)); continue ;;
            -*) continue ;;
        esac
        case "${{path:+$path }}$word" in
            {known}) path="${{path:+$path }}$word" ;;
        esac
    done
    case $path in
{cases}
    esac
    COMPREPLY=($(compgen -W "$words" -- "$cur"))
}}
complete -o default -F _kolvanex kolvanex
"""


def zsh_quote(text):
    return "'" + text.replace("'", "'\\''") + "'"


def zsh_completion(root):
    paths = [" ".join(c.path) for c in walk(root)][1:]
    cases = []
    for c in walk(root):
        entries = [f"{n}:{t}" for n, t in c.commands]
        entries += [f"{n}:{o.text}" for o in c.options for n in o.names]
        joined = " ".join(zsh_quote(e) for e in entries)
        cases.append(f'        ({zsh_quote(" ".join(c.path))}) entries=({joined}) ;;')
    return f"""#compdef kolvanex
# zsh completion for kolvanex (generated from its --help)
_kolvanex() {{
    local -a entries
    local p="" w
    local -i i
    for ((i = 2; i < CURRENT; i++)); do
        w=${{words[i]}}
        case $w in
            ({"|".join(value_options(root))}) ((i++)); continue ;;
            (-*) continue ;;
        esac
        case "${{p:+$p }}$w" in
            ({"|".join(zsh_quote(p) for p in paths)}) p="${{p:+$p }}$w" ;;
        esac
    done
    case $p in
{chr(10).join(cases)}
    esac
    _describe -t entries kolvanex entries || _files
}}
_kolvanex "$@"
"""


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit("usage: gen_docs.py KOLVANEX OUTDIR [VERSION]")
    program, outdir = os.path.abspath(sys.argv[1]), sys.argv[2]
    version = sys.argv[3] if len(sys.argv) > 3 else ""
    root = read_program(program)
    os.makedirs(outdir, exist_ok=True)
    for name, text in (("kolvanex.1", manual(root, version)),
                       ("kolvanex.de.1", manual(read_program(program, "de"), version, "de")),
                       ("kolvanex.bash", bash_completion(root)),
                       ("_kolvanex", zsh_completion(root))):
        with open(os.path.join(outdir, name), "w", encoding="utf-8") as out:
            out.write(text)


if __name__ == "__main__":
    main()
