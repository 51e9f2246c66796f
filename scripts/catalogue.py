"""Reading message catalogues (.po) and the texts the sources mark for them.

A source marks a German text for translation by writing it as the first
argument of tr(...), trf(...) or trMark(...): one string literal, or several
adjacent ones (also raw literals R"(...)"), which C++ joins into one text.
"""
import re
from pathlib import Path

_ESCAPES = {"n": "\n", "t": "\t", "r": "\r", '"': '"', "\\": "\\", "'": "'", "0": "\0"}
_MARKS = re.compile(r"\b(?:tr|trf|trMark)\(\s*(?=R?\")")


def _unescape(body):
    out, i = [], 0
    while i < len(body):
        c = body[i]
        if c == "\\" and i + 1 < len(body):
            nxt = body[i + 1]
            if nxt == "x":
                m = re.match(r"[0-9a-fA-F]+", body[i + 2:])
                out.append(chr(int(m.group(0), 16)))
                i += 2 + len(m.group(0))
                continue
            out.append(_ESCAPES.get(nxt, nxt))
            i += 2
            continue
        out.append(c)
        i += 1
    return "".join(out)


def _literal_at(text, pos):
    """The literal starting at pos: (its text, the position after it), or None."""
    if text.startswith('R"', pos):
        open_paren = text.index("(", pos)
        delim = text[pos + 2:open_paren]
        end = text.index(")" + delim + '"', open_paren)
        return text[open_paren + 1:end], end + len(delim) + 2
    if text.startswith('"', pos):
        i = pos + 1
        while text[i] != '"':
            i += 2 if text[i] == "\\" else 1
        return _unescape(text[pos + 1:i]), i + 1
    return None


def marked_texts(path):
    """(text, line) of every text the file marks for translation."""
    text = Path(path).read_text(encoding="utf-8")
    found = []
    for m in _MARKS.finditer(text):
        pos, parts = m.end(), []
        while True:
            lit = _literal_at(text, pos)
            if lit is None:
                break
            parts.append(lit[0])
            pos = lit[1]
            while pos < len(text) and text[pos] in " \t\r\n":
                pos += 1
        found.append(("".join(parts), text.count("\n", 0, m.start()) + 1))
    return found


def _po_string(line):
    return _unescape(line[line.index('"') + 1:line.rindex('"')])


def read_po(path):
    """The entries of a .po file as {German text: translation}, header left out."""
    entries, msgid, msgstr, field = {}, None, None, None

    def flush():
        if msgid:  # the header has the empty msgid
            entries[msgid] = msgstr or ""

    for raw in Path(path).read_text(encoding="utf-8").splitlines():
        line = raw.strip()
        if line.startswith("msgid "):
            flush()
            msgid, msgstr, field = _po_string(line), None, "id"
        elif line.startswith("msgstr "):
            msgstr, field = _po_string(line), "str"
        elif line.startswith('"'):
            if field == "id":
                msgid += _po_string(line)
            elif field == "str":
                msgstr += _po_string(line)
        elif not line or line.startswith("#"):
            field = None if not line else field
    flush()
    return entries


def read_catalogue(folder):
    """The entries of every .po file in a language's folder (po/<language>/),
    as {German text: translation}, and the problems of joining them: a text
    given two different translations in two files."""
    entries, origin, problems = {}, {}, []
    for path in sorted(Path(folder).glob("*.po")):
        for german, text in read_po(path).items():
            if german in entries and entries[german] != text:
                problems.append(f"{path.name}: {german!r} is translated otherwise in "
                                f"{origin[german]}")
                continue
            entries[german], origin[german] = text, path.name
    return entries, problems


def places(text):
    """The places "{n}" a text fills, as a sorted list."""
    return sorted(re.findall(r"(?<!\{)\{(\d+)\}", text))
