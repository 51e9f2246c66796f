#!/usr/bin/env python3
"""Fails when a text the program shows has no English translation.

Every text the sources mark (tr, trf, trMark) must stand in the English
catalogue (po/en/*.po) with a translation that fills the same places "{n}";
an entry no source marks any more is reported too, so the catalogue stays
the program's own, and so is a text two files translate differently.

    check_catalogue.py [SOURCE-ROOT]
"""
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from catalogue import marked_texts, places, read_catalogue  # noqa: E402

SOURCE_FOLDERS = ["hosts", "views", "facade", "cleaning", "anonymity", "deletion", "dialer",
                  "options", "mail", "favourites", "encryption", "crypt", "services",
                  "settings", "fsys", "core", "platform"]


def main(root):
    root = Path(root)
    catalogue, problems = read_catalogue(root / "po" / "en")
    marked = {}
    for folder in SOURCE_FOLDERS:
        for path in sorted((root / folder).rglob("*.[ch]pp")):
            for text, line in marked_texts(path):
                marked.setdefault(text, f"{path.relative_to(root)}:{line}")
    for text, where in sorted(marked.items(), key=lambda kv: kv[1]):
        english = catalogue.get(text)
        if not english:
            problems.append(f"{where}: no English text for {text!r}")
        elif places(english) != places(text):
            problems.append(f"{where}: the English text of {text!r} fills other places")
    for text in sorted(set(catalogue) - set(marked)):
        problems.append(f"po/en: {text!r} is marked nowhere in the sources")
    for p in problems:
        print(p)
    print(f"{len(marked)} texts marked, {len(catalogue)} in po/en, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent))
