#!/usr/bin/env python3
"""Writes an application-like benchmark corpus.

    make_corpus.py OUT_DIR MAIN_EXE
    make_corpus.py --runtime OUT_DIR MAIN_EXE

OUT_DIR is removed and filled again: MAIN_EXE copied as app.exe, then about a thousand
generated files (about 38 MB) in about fifty folders, shaped like an installed desktop
application: PE-looking executables and libraries, text (documentation, translations,
configuration, scripts, licences) and data (images, sounds, fonts, record tables, archives).
Sizes are skewed as in a real application, many small files and a few of several MB, and the
mix compresses about 3.4:1 as one stream at a strong zstd level.

The bytes are the same on every run and machine: everything comes from fixed seeds through
random.Random's random(), getrandbits() and randbytes() and integer or exactly rounded float
arithmetic; nothing is read from the system or downloaded.

With --runtime the corpus is shaped like a language runtime instead: MAIN_EXE with generated
PE-looking code and data appended, about 64 MB that still runs and ends at once (the loader
ignores what follows the sections), compressing about as a real runtime executable does, plus
a few dozen small scripts and modules in a few folders.
"""

import bisect
import hashlib
import itertools
import os
import random
import shutil
import struct
import sys
import time
import types
import zlib

SEED = 20261214
TARGET_BYTES = 37_657_789
FILLER = "data/assets.pak"  # takes up whatever the other files leave of the target

LANGUAGES = ["cs", "de", "es", "fr", "hu", "it", "ja", "ko", "nl", "pl", "pt_BR", "ru", "sv",
             "tr", "uk", "zh_CN"]
PLUGINS = ["audio", "cloud", "export", "filters", "import", "network", "pdf", "scripting",
           "spellcheck", "video"]
COMMON_WORDS = ("the of and to in is for that on with as by this are be it from or at an you "
                "can not which will if all new file when your use more one has each set may "
                "any no open save window value list name type data view user").split()
SYSTEM_DLLS = ["KERNEL32.dll", "USER32.dll", "GDI32.dll", "ADVAPI32.dll", "SHELL32.dll",
               "ole32.dll", "OLEAUT32.dll", "WS2_32.dll", "COMCTL32.dll", "bcrypt.dll"]


# ---------------------------------------------------------------- random helpers

def file_rng(path):
    # One generator per file, so changing one file's recipe leaves the others' bytes alone.
    digest = hashlib.sha256(f"{SEED}:{path}".encode()).digest()
    return random.Random(int.from_bytes(digest[:8], "little"))


def below(rng, n):
    return int(rng.random() * n)


def skewed(rng, lo, hi):
    # Cubing a uniform value makes small results common and large ones rare.
    u = rng.random()
    return lo + int((hi - lo) * u * u * u)


def zipf_table(count, shift=0.0):
    # Cumulative 1/(rank + shift) weights; plain division keeps the floats exact everywhere.
    total, table = 0.0, []
    for rank in range(1, count + 1):
        total += 1.0 / (rank + shift)
        table.append(total)
    return table


def pick(rng, items, table, k):
    total, last, draw, find = table[-1], len(table) - 1, rng.random, bisect.bisect
    return [items[find(table, draw() * total, 0, last)] for _ in range(k)]


def fit(data, size):
    return data[:size] if len(data) >= size else data + bytes(size - len(data))


# ---------------------------------------------------------------- shared material

def make_words(rng, count, onsets, nuclei, codas, lead=()):
    syllables = [o + n + c for o in onsets for n in nuclei for c in codas]
    seen, words = set(lead), []
    while len(words) < count:
        parts = 1 + (rng.random() < 0.75) + (rng.random() < 0.4) + (rng.random() < 0.12)
        word = "".join(syllables[below(rng, len(syllables))] for _ in range(parts))
        if word not in seen:
            seen.add(word)
            words.append(word)
    words.sort(key=len)  # frequent words are short ones
    return list(lead) + words


def english_words(rng):
    onsets = ["", "b", "c", "d", "f", "g", "h", "k", "l", "m", "n", "p", "r", "s", "t", "v", "w",
              "st", "tr", "pr", "ch", "th", "sh", "br", "cl", "gr"]
    nuclei = ["a", "e", "i", "o", "u", "ea", "ou", "io", "ai"]
    codas = ["", "", "", "n", "r", "s", "t", "l", "nd", "ng", "st", "ck", "m"]
    return make_words(rng, 6000, onsets, nuclei, codas, COMMON_WORDS)


def language_words(rng, language, count):
    # Each language gets its own alphabet, so translations differ in bytes as real ones do.
    if language in ("ja", "zh_CN"):
        base = 0x4E00 if language == "zh_CN" else 0x3041
        chars = [chr(base + below(rng, 2500 if language == "zh_CN" else 86)) for _ in range(300)]
        return make_words(rng, count, chars, chars[:40], [""])
    if language == "ko":
        chars = [chr(0xAC00 + below(rng, 11172)) for _ in range(400)]
        return make_words(rng, count, chars, [""], [""])
    if language in ("ru", "uk"):
        onsets = [""] + list("бвгджзклмнпрстфхцчшщ")
        return make_words(rng, count, onsets, list("аеиоуыяюэ"), ["", "", "й", "н", "т", "ст"])
    accents = {"cs": "áčěířšýž", "de": "äöüß", "es": "áéíñóú", "fr": "àéèêçô", "hu": "áéöőüű",
               "it": "àèìò", "nl": "ij", "pl": "ąęłńóśźż", "pt_BR": "ãçéêõ", "sv": "åäö",
               "tr": "çğışöü"}[language]
    letters = list("bcdfghjklmnprstvz")
    onsets = [""] + letters[below(rng, 5):] + [letters[below(rng, 17)] + "r"]
    nuclei = list("aeiou") + list(accents)
    return make_words(rng, count, onsets, nuclei, ["", "", "n", "s", "r", "t", "l"])


def build_shared():
    rng = random.Random(SEED)
    shared = types.SimpleNamespace()
    shared.words = english_words(rng)
    shared.word_rank = {word: rank for rank, word in enumerate(shared.words)}
    word_table = zipf_table(len(shared.words))
    # Stock phrases between the single words give text the repeats real prose has.
    phrases = [" ".join(pick(rng, shared.words, word_table, 2 + below(rng, 4)))
               for _ in range(3000)]
    shared.chunks = [item for pair in zip(shared.words, phrases + [""] * 3000) for item in pair
                     if item]
    shared.chunk_table = zipf_table(len(shared.chunks), shift=2.0)
    shared.word_table = word_table
    # Identifiers skip the function words, which no programmer would name a thing after.
    shared.name_words = shared.words[len(COMMON_WORDS):len(COMMON_WORDS) + 2000]
    shared.name_table = zipf_table(len(shared.name_words), shift=5.0)
    shared.api_names = [camel(pick(rng, shared.words, word_table, 2 + below(rng, 2)))
                        + ("W" if rng.random() < 0.3 else "") for _ in range(1500)]
    shared.api_table = zipf_table(len(shared.api_names), shift=10.0)
    shared.messages = [message(rng, shared) for _ in range(1600)]
    shared.sources = [f"src/{folder}/{name}.cpp" for folder, name in
                      zip(pick(rng, shared.name_words, shared.name_table, 120),
                          shared.name_words[100:220])]
    shared.runtime_code = code_bytes(rng, 96 * 1024, 1.0)
    shared.licences = [prose(rng, shared, 1200 + below(rng, 2400)) for _ in range(4)]
    shared.nav = nav_block(rng, shared)
    shared.lang_words = {lang: language_words(random.Random(SEED + i), lang, len(shared.words))
                         for i, lang in enumerate(LANGUAGES)}
    return shared


def camel(words):
    return "".join(word[:1].upper() + word[1:] for word in words)


def message(rng, shared):
    text = " ".join(pick(rng, shared.chunks, shared.chunk_table, 1 + below(rng, 5)))
    text = text[:1].upper() + text[1:]
    roll = rng.random()
    if roll < 0.15:
        text += ": %s"
    elif roll < 0.25:
        text = "&" + text
    elif roll < 0.33:
        text += " (%d)"
    elif roll < 0.45:
        text += "..."
    return text


# ---------------------------------------------------------------- text

def sentences(rng, shared, count):
    chunks = pick(rng, shared.chunks, shared.chunk_table, count * 6)
    out, at = [], 0
    for _ in range(count):
        length = 3 + below(rng, 8)
        text = " ".join(chunks[at:at + length])
        at += length
        if at > len(chunks) - 12:
            at = 0
        out.append(text[:1].upper() + text[1:] + (", and" if rng.random() < 0.1 else "."))
    return out


def prose(rng, shared, words):
    paragraphs = []
    while words > 0:
        count = 2 + below(rng, 6)
        paragraphs.append(" ".join(sentences(rng, shared, count)))
        words -= count * 10
    return "\n\n".join(paragraphs)


def grow(rng, size, piece):
    # Repeats a piece maker until the text reaches the size; most pieces are a few hundred bytes.
    parts, length = [], 0
    while length < size:
        part = piece(rng)
        parts.append(part)
        length += len(part) + 1
    return "\n".join(parts).encode()


def identifier(rng, shared):
    words = pick(rng, shared.name_words, shared.name_table, 1 + below(rng, 3))
    return "_".join(words) if rng.random() < 0.6 else camel(words)


def text_file(rng, shared, size, style):
    if style == "md":
        piece = lambda r: (f"## {' '.join(sentences(r, shared, 1))[:60]}\n\n"
                           + prose(r, shared, 60 + below(r, 200)))
    elif style == "txt":
        piece = lambda r: prose(r, shared, 40 + below(r, 200))
    elif style == "ini":
        piece = lambda r: f"[{camel(pick(r, shared.words, shared.word_table, 2))}]\n" + "\n".join(
            f"{identifier(r, shared)}={config_value(r, shared)}" for _ in range(2 + below(r, 8)))
    elif style == "json":
        return json_text(rng, shared, size)
    elif style == "xml":
        return xml_text(rng, shared, size)
    elif style == "css":
        piece = lambda r: css_rule(r, shared)
    elif style == "lua":
        piece = lambda r: lua_function(r, shared)
    else:
        raise ValueError(style)
    return grow(rng, size, piece)


def config_value(rng, shared):
    roll = rng.random()
    if roll < 0.3:
        return str(below(rng, 100) if rng.random() < 0.7 else below(rng, 65536))
    if roll < 0.45:
        return "true" if rng.random() < 0.5 else "false"
    if roll < 0.6:
        return f"{below(rng, 1000) / 100:.2f}"
    return " ".join(pick(rng, shared.chunks, shared.chunk_table, 1 + below(rng, 3)))


def json_text(rng, shared, size):
    def item(r, depth):
        fields = []
        for _ in range(2 + below(r, 6)):
            key = identifier(r, shared)
            if depth < 2 and r.random() < 0.15:
                fields.append(f'"{key}": ' + item(r, depth + 1))
            else:
                value = config_value(r, shared)
                quoted = value if value.replace(".", "").isdigit() or value in ("true", "false") \
                    else f'"{value}"'
                fields.append(f'"{key}": {quoted}')
        pad = "  " * (depth + 2)
        return "{\n" + ",\n".join(pad + field for field in fields) + "\n" + pad[2:] + "}"

    body = grow(rng, size, lambda r: "  " + item(r, 0) + ",").decode()
    return f'{{\n "version": 3,\n "items": [\n{body}\n ]\n}}\n'.encode()


def xml_text(rng, shared, size):
    def element(r):
        tag = identifier(r, shared).lower()
        attributes = " ".join(f'{identifier(r, shared).lower()}="{config_value(r, shared)}"'
                              for _ in range(1 + below(r, 4)))
        if r.random() < 0.5:
            return f"  <{tag} {attributes}/>"
        return f"  <{tag} {attributes}>{' '.join(sentences(r, shared, 1))}</{tag}>"

    body = grow(rng, size, element).decode()
    return f'<?xml version="1.0" encoding="UTF-8"?>\n<resources>\n{body}\n</resources>\n'.encode()


def css_rule(rng, shared):
    properties = ["color", "background-color", "margin", "padding", "border", "font-size",
                  "font-weight", "border-radius", "min-width", "spacing", "opacity"]
    selector = f"{camel(pick(rng, shared.words, shared.word_table, 1))}#{identifier(rng, shared)}"
    lines = []
    for _ in range(2 + below(rng, 6)):
        name = properties[skewed(rng, 0, len(properties))]
        value = f"#{rng.getrandbits(24):06x}" if "color" in name else f"{below(rng, 24)}px"
        lines.append(f"    {name}: {value};")
    return selector + " {\n" + "\n".join(lines) + "\n}\n"


def lua_function(rng, shared):
    name = identifier(rng, shared)
    args = ", ".join(identifier(rng, shared) for _ in range(below(rng, 4)))
    body = []
    for _ in range(2 + below(rng, 10)):
        roll = rng.random()
        target, source = identifier(rng, shared), identifier(rng, shared)
        if roll < 0.3:
            body.append(f"    local {target} = {source}({below(rng, 10)})")
        elif roll < 0.5:
            body.append(f"    if {target} == nil then\n        return {source}\n    end")
        elif roll < 0.65:
            body.append(f"    -- {sentences(rng, shared, 1)[0]}")
        elif roll < 0.8:
            body.append(f'    self.{target} = "{" ".join(sentences(rng, shared, 1))[:40]}"')
        else:
            body.append(f"    for i = 1, #{target} do\n        {source}(i)\n    end")
    return f"function M.{name}({args})\n" + "\n".join(body) + "\nend\n"


def nav_block(rng, shared):
    links = "\n".join(f'      <li><a href="{identifier(rng, shared).lower()}.html">'
                      f"{' '.join(pick(rng, shared.chunks, shared.chunk_table, 2))}</a></li>"
                      for _ in range(40))
    return f'    <nav class="sidebar">\n     <ul>\n{links}\n     </ul>\n    </nav>\n'


def html_page(rng, shared, size, api):
    title = " ".join(sentences(rng, shared, 1))[:50]
    head = (f'<!DOCTYPE html>\n<html lang="en">\n<head>\n  <meta charset="utf-8">\n'
            f'  <title>{title} - Quillowmere Help</title>\n'
            f'  <link rel="stylesheet" href="../style.css">\n</head>\n<body>\n{shared.nav}'
            f'  <main>\n   <h1>{title}</h1>\n')
    tail = '  </main>\n  <footer>Copyright 2026 Lumbrook Crafts</footer>\n</body>\n</html>\n'

    def section(r):
        if api:
            name = shared.api_names[skewed(r, 0, len(shared.api_names))]
            params = "".join(f"<tr><td><code>{identifier(r, shared)}</code></td><td>"
                             f"{' '.join(sentences(r, shared, 1))}</td></tr>\n"
                             for _ in range(1 + below(r, 4)))
            return (f'   <h2 id="{name}">{name}</h2>\n   <pre>int {name}(...)</pre>\n'
                    f"   <p>{' '.join(sentences(r, shared, 2 + below(r, 3)))}</p>\n"
                    f"   <table>\n{params}   </table>")
        return (f"   <h2>{' '.join(sentences(r, shared, 1))[:60]}</h2>\n"
                f"   <p>{prose(r, shared, 50 + below(r, 150))}</p>")

    body = grow(rng, max(0, size - len(head) - len(tail)), section).decode()
    return (head + body + "\n" + tail).encode()


def licence_file(rng, shared):
    # Third-party licences repeat a few standard texts with their own copyright line.
    holder = camel(pick(rng, shared.words, shared.word_table, 2))
    text = (f"Copyright (c) {2005 + below(rng, 20)} {holder} contributors\n\n"
            + shared.licences[skewed(rng, 0, 4)])
    return text.encode()


# ---------------------------------------------------------------- translations

def translate(shared, language, text):
    words = shared.lang_words[language]
    separator = "" if language in ("ja", "zh_CN") else " "
    return separator.join(words[shared.word_rank[w]] if w in shared.word_rank else w
                    for w in text.split(" "))


def catalog_entries(shared, language):
    # Catalogs of all languages share the English ids, in the same order, as real ones do.
    entries = []
    for index, msgid in enumerate(shared.messages):
        accelerator = "&" if msgid.startswith("&") else ""
        core = msgid[len(accelerator):]
        bare = core.split(":")[0].split(" (")[0].rstrip(".")
        msgstr = accelerator + translate(shared, language, bare.lower()) + core[len(bare):]
        source = shared.sources[(index * 7) % len(shared.sources)]
        entries.append((msgid, msgstr, f"{source}:{13 + (index * 37) % 900}"))
    return entries


def po_file(shared, size, language):
    header = (f'msgid ""\nmsgstr ""\n"Project-Id-Version: Quillowmere 1.20\\n"\n'
              f'"Language: {language}\\n"\n"MIME-Version: 1.0\\n"\n'
              f'"Content-Type: text/plain; charset=UTF-8\\n"\n')
    parts, length = [header], len(header)
    for msgid, msgstr, where in catalog_entries(shared, language):
        if length >= size:
            break
        entry = f'#: {where}\nmsgid "{msgid}"\nmsgstr "{msgstr}"\n'
        parts.append(entry)
        length += len(entry.encode()) + 1
    return "\n".join(parts).encode()


def mo_file(shared, size, language):
    count = max(1, size // 70)
    entries = sorted((m.encode(), s.encode()) for m, s, _ in
                     catalog_entries(shared, language)[:count])
    n = len(entries)
    originals_at, translations_at = 28, 28 + 8 * n
    strings_at = translations_at + 8 * n
    tables, blob = [[], []], bytearray()
    for side in (0, 1):
        for pair in entries:
            tables[side] += [len(pair[side]), strings_at + len(blob)]
            blob += pair[side] + b"\0"
    head = struct.pack("<7I", 0x950412DE, 0, n, originals_at, translations_at, 0, strings_at)
    return head + struct.pack(f"<{4 * n}I", *tables[0], *tables[1]) + bytes(blob)


# ---------------------------------------------------------------- executables

# x86-64 style instructions: opcode bytes with operand kinds and how often each appears.
# m: ModRM operand, r: relative branch target, a: rip-relative address, b: 8-bit immediate,
# i: 32-bit immediate.
INSTRUCTIONS = [
    (30, b"\x48\x8b", "m"), (24, b"\x48\x89", "m"), (18, b"\xe8", "r"), (12, b"\x48\x8d", "m"),
    (10, b"\x85\xc0", ""), (9, b"\x0f\x84", "r"), (9, b"\x74", "b"), (9, b"\x75", "b"),
    (8, b"\x48\x83\xc4", "b"), (7, b"\x33\xc0", ""), (7, b"\xff\x15", "a"), (6, b"\x8b", "m"),
    (6, b"\x89", "m"), (5, b"\x41\xb8", "i"), (5, b"\xb9", "i"), (5, b"\x48\x8b\x0d", "a"),
    (4, b"\xeb", "b"), (4, b"\xe9", "r"), (3, b"\x0f\xb6", "m"), (3, b"\x3b", "m"),
    (3, b"\x48\x3b", "m"), (3, b"\x4c\x8b", "m"), (3, b"\x49\x8b", "m"), (2, b"\xf3\x0f\x10", "m"),
    (2, b"\x0f\x28", "m"), (2, b"\x48\x85\xdb", ""), (2, b"\x4c\x8d\x05", "a"),
    (2, b"\x0f\x85", "r"), (2, b"\x83\xf8", "b"), (2, b"\xc7\x44\x24", "b"), (1, b"\x48\x63", "m"),
    (1, b"\x66\x89", "m"),
]
OPERANDS = [b"\xc1", b"\xc8", b"\xd9", b"\xcb", b"\xf8", b"\x44\x24\x20", b"\x4c\x24\x28",
            b"\x54\x24\x30", b"\x5c\x24\x38", b"\x43\x08", b"\x41\x10", b"\x47\x18", b"\x46\x20",
            b"\x01", b"\x07", b"\x0b", b"\x03", b"\x86\x88\x00\x00\x00", b"\x8b\xb0\x01\x00\x00"]
PROLOGUES = [b"\x48\x89\x5c\x24\x08\x57\x48\x83\xec\x20", b"\x40\x53\x48\x83\xec\x20",
             b"\x48\x83\xec\x28", b"\x48\x89\x5c\x24\x10\x48\x89\x74\x24\x18\x55\x57\x41\x56"]
EPILOGUES = [b"\x48\x8b\x5c\x24\x30\x48\x83\xc4\x20\x5f\xc3", b"\x48\x83\xc4\x20\x5b\xc3",
             b"\x48\x83\xc4\x28\xc3"]
INSTRUCTION_TABLE = list(itertools.accumulate(weight for weight, _, _ in INSTRUCTIONS))
OPERAND_TABLE = zipf_table(len(OPERANDS))


def instruction_block(rng, span):
    ops = pick(rng, INSTRUCTIONS, INSTRUCTION_TABLE, 3 + below(rng, 10))
    operands = pick(rng, OPERANDS, OPERAND_TABLE, len(ops))
    out = bytearray()
    for (_, opcode, kind), operand in zip(ops, operands):
        out += opcode
        if kind == "m":
            out += operand
        elif kind in "ra":
            out += struct.pack("<i", below(rng, 2 * span) - span)
        elif kind == "b":
            out.append(8 * below(rng, 8) if rng.random() < 0.8 else rng.getrandbits(8))
        elif kind == "i":
            out += struct.pack("<I", skewed(rng, 0, 4096))
    return bytes(out)


def code_bytes(rng, size, fresh):
    # Functions from basic blocks; a block is new with probability `fresh`, else an earlier one
    # again, as inlined helpers and template copies are.
    blocks, out = [], bytearray()
    while len(out) < size:
        out += PROLOGUES[skewed(rng, 0, len(PROLOGUES))]
        for _ in range(1 + skewed(rng, 0, 12)):
            if not blocks or rng.random() < fresh:
                blocks.append(instruction_block(rng, max(size, 4096)))
                out += blocks[-1]
            else:
                out += blocks[below(rng, len(blocks))]
        out += EPILOGUES[skewed(rng, 0, len(EPILOGUES))]
        out += b"\xcc" * (-len(out) % 16)
    return bytes(out[:size])


def text_section(rng, shared, size):
    runtime = shared.runtime_code[:min(len(shared.runtime_code), size // 4)]
    return code_bytes(rng, size - len(runtime), CODE_FRESHNESS) + runtime


def rdata_section(rng, shared, size, name):
    # Read-only data: import names, messages, address tables, wide strings, constants, hashes.
    dlls = SYSTEM_DLLS[:3 + below(rng, len(SYSTEM_DLLS) - 3)]
    parts, length = [], 0
    while length < size:
        parts.append(rdata_piece(rng, shared, dlls))
        length += len(parts[-1])
    return b"".join(parts)[:size] + f"{name}\0".encode()


def rdata_piece(rng, shared, dlls):
    roll = rng.random()
    if roll < 0.35:
        names = pick(rng, shared.api_names, shared.api_table, 20)
        hints = b"".join(struct.pack("<H", below(rng, 1500)) + n.encode() + bytes(1 + len(n) % 2)
                         for n in names)
        return hints + dlls[below(rng, len(dlls))].encode() + b"\0\0"
    if roll < 0.6:
        return b"\0".join(text.encode() for text in sentences(rng, shared, 8)) + bytes(8)
    if roll < 0.75:
        addresses = (0x180000000 + skewed(rng, 0x1000, 0x400000) for _ in range(16))
        return struct.pack("<16Q", *addresses)
    if roll < 0.85:
        return "\0".join(sentences(rng, shared, 3)).encode("utf-16-le") + b"\0\0"
    if roll < 0.93:
        return struct.pack("<8d", *(below(rng, 2000) / 8 for _ in range(8)))
    return rng.randbytes(16 * (1 + below(rng, 4)))


def data_section(rng, size):
    # Mostly zero-initialised tables with scattered pointers and counters.
    out = bytearray(size)
    for _ in range(size // 48):
        at = below(rng, max(1, size - 8)) & ~7
        value = 0x180000000 + below(rng, 0x400000) if rng.random() < 0.5 else below(rng, 256)
        out[at:at + 8] = struct.pack("<Q", value)
    return bytes(out)


def reloc_section(rng, size):
    out, page = bytearray(), 0x1000
    while len(out) < size:
        count = 8 + below(rng, 120)
        offsets = sorted(below(rng, 4096) & ~7 for _ in range(count))
        out += struct.pack("<II", page, 8 + 2 * count)
        out += struct.pack(f"<{count}H", *(0xA000 | offset for offset in offsets))
        page += 0x1000
    return bytes(out)


def resource_section(rng, size):
    version = "\0".join(["CompanyName", "Lumbrook Crafts", "ProductName", "Quillowmere",
                         "FileVersion", "1.20.0.0"]).encode("utf-16-le")
    manifest = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<assembly '
                'xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">\n'
                '  <trustInfo><security><requestedPrivileges><requestedExecutionLevel '
                'level="asInvoker" uiAccess="false"/></requestedPrivileges></security></trustInfo>'
                '\n</assembly>\n').encode()
    icon = rng.randbytes(max(0, size - len(version) - len(manifest)) // 2)
    return version + manifest + icon


def pe_file(rng, shared, size, name):
    dll = name.endswith(".dll")
    body = max(4096, size - 0x400)
    shares = [(b".text", 0.60, 0x60000020), (b".rdata", 0.22, 0x40000040),
              (b".data", 0.07, 0xC0000040), (b".rsrc", 0.04, 0x40000040),
              (b".reloc", 0.07, 0x42000040)]
    makers = [lambda n: text_section(rng, shared, n), lambda n: rdata_section(rng, shared, n, name),
              lambda n: data_section(rng, n), lambda n: resource_section(rng, n),
              lambda n: reloc_section(rng, n)]
    sections, headers, raw_at, virtual_at = [], b"", 0x400, 0x1000
    for (label, share, flags), make in zip(shares, makers):
        raw_size = (int(body * share) + 0x1FF) & ~0x1FF
        content = make(raw_size - below(rng, 0x200))[:raw_size]
        sections.append(fit(content, raw_size))
        headers += struct.pack("<8sIIIIIIHHI", label, len(content), virtual_at, raw_size, raw_at,
                               0, 0, 0, 0, flags)
        raw_at += raw_size
        virtual_at += (len(content) + 0xFFF) & ~0xFFF
    return fit(pe_headers(rng, dll, virtual_at, headers) + b"".join(sections), size)


def pe_headers(rng, dll, image_size, section_table):
    stub = (bytes.fromhex("0e1fba0e00b409cd21b8014ccd21")
            + b"This program cannot be run in DOS mode.\r\r\n$" + bytes(7))
    dos = b"MZ" + struct.pack("<29H", 0x90, 3, 0, 4, 0, 0xFFFF, 0, 0xB8, 0, 0, 0, 0x40,
                               *([0] * 16), 0) + struct.pack("<I", 0x80)
    coff = struct.pack("<HHIIIHH", 0x8664, 5, 0x67000000 + rng.getrandbits(24), 0, 0, 240,
                       0x2022 if dll else 0x22)
    optional = struct.pack("<HBBIIIIIQIIHHHHHHIIIIHHQQQQII", 0x20B, 14, 36, image_size // 2,
                           image_size // 3, 0, 0x1000 + below(rng, 0x8000), 0x1000,
                           0x180000000 if dll else 0x140000000, 0x1000, 0x200, 6, 0, 0, 0, 6, 0,
                           0, image_size, 0x400, 0, 2 if not dll and rng.random() < 0.3 else 3,
                           0x160, 0x100000, 0x1000, 0x100000, 0x1000, 0, 16)
    directories = struct.pack("<32I", *(skewed(rng, 0x1000, image_size) if i % 2 == 0 and i < 12
                                        else below(rng, 0x2000) if i < 12 else 0
                                        for i in range(32)))
    head = fit(dos + stub, 0x80) + b"PE\0\0" + coff + optional + directories + section_table
    return fit(head, 0x400)


# ---------------------------------------------------------------- data

def png_file(rng, size):
    def chunk(kind, data):
        checksum = struct.pack(">I", zlib.crc32(kind + data))
        return struct.pack(">I", len(data)) + kind + data + checksum

    side = 16 << below(rng, 4)
    head = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 6, 0, 0, 0))
    tail = chunk(b"IEND", b"")
    return fit(head + chunk(b"IDAT", rng.randbytes(max(0, size - len(head) - len(tail) - 12)))
               + tail, size)


def dds_file(rng, size):
    # Block-compressed texture: a few endpoint colours per image, random 2-bit indices.
    palette = [rng.getrandbits(16) for _ in range(12)]
    blocks = max(1, (size - 128) // 8)
    endpoints = (palette[skewed(rng, 0, 12)] for _ in range(2 * blocks))
    colours = struct.pack(f"<{2 * blocks}H", *endpoints)
    indices = rng.randbytes(4 * blocks)
    body = b"".join(colours[4 * i:4 * i + 4] + indices[4 * i:4 * i + 4] for i in range(blocks))
    return fit(b"DDS " + struct.pack("<31I", 124, 0x81007, 512, 512, *([0] * 27)) + body, size)


def ogg_file(rng, size):
    # Pages of already-compressed audio behind small headers.
    pages, serial, length, number = [], rng.getrandbits(32), 0, 0
    while length < size:
        payload = rng.randbytes(255 * 16)
        pages.append(b"OggS\0" + struct.pack("<BQIII", 0, number * 48000, serial, number,
                                              rng.getrandbits(32))
                     + bytes([16]) + bytes([255] * 16) + payload)
        length += len(pages[-1])
        number += 1
    return b"".join(pages)


def font_file(rng, size):
    # Glyph outlines: a small header, runs of a few point flags, then short coordinate deltas.
    names = "\0".join(["Quillowmere Sans", "Regular", "Version 1.20"]).encode("utf-16-be")
    cmap = struct.pack(">256H", *range(32, 288))
    flags = [b"\x01", b"\x33", b"\x37", b"\x21", b"\x13", b"\x31", b"\x07", b"\x27"]
    glyphs, length = [], 0
    while length < size:
        points = 8 + below(rng, 40)
        glyph = (struct.pack(">hhhhh", 1 + below(rng, 3), below(rng, 80), -below(rng, 200),
                             below(rng, 1200), below(rng, 1500))
                 + b"".join(pick(rng, flags, FLAG_TABLE, points))
                 + bytes(below(rng, 48) for _ in range(2 * points)))
        glyphs.append(glyph + bytes(-len(glyph) % 4))
        length += len(glyphs[-1])
    return b"\0\1\0\0" + struct.pack(">HHHH", 12, 128, 3, 32) + names + cmap + b"".join(glyphs)


FLAG_TABLE = zipf_table(8)


def record_file(rng, shared, size):
    # Map or table records: increasing ids, few kinds, grid positions, mostly default fields.
    kinds = [rng.getrandbits(16) for _ in range(12)]
    colours = [rng.getrandbits(32) for _ in range(8)]
    scales = [1.0, 1.0, 0.5, 2.0, 1.5, 0.75, 0.25]
    names = "\0".join(pick(rng, shared.words, shared.word_table, 64)).encode()
    count = max(1, (size - len(names)) // 36)
    x, records = 0, []
    for index in range(count):
        x += below(rng, 3)
        records.append(struct.pack(
            "<IHHiiifIHHI", 1000 + index, kinds[skewed(rng, 0, 12)],
            0 if rng.random() < 0.8 else below(rng, 16), 16 * x, 16 * below(rng, 64),
            0 if rng.random() < 0.7 else 16 * below(rng, 8), scales[skewed(rng, 0, 7)],
            colours[skewed(rng, 0, 8)], skewed(rng, 0, 64), 0, 0))
    return b"QREC" + struct.pack("<III", 3, count, 36) + names + b"".join(records)


def curve_file(rng, size):
    # Lookup tables: slowly varying 16-bit samples, flat stretches between ramps.
    values, level = [], 30000
    while len(values) < size // 2:
        target, steps = max(0, min(65535, level + below(rng, 4001) - 2000)), 16 + below(rng, 240)
        values += [level + (target - level) * step // steps for step in range(steps)]
        values += [target] * below(rng, 64)
        level = target
    return struct.pack(f"<{len(values)}H", *values)


def archive_file(rng, shared, size):
    # A packed archive: an index of names and offsets, then its members: layouts, scripts and
    # record tables stored as they are, and some already-compressed images.
    kinds = [(ARCHIVE_RANDOM_SHARE, lambda n: rng.randbytes(n)),
             (0.15, lambda n: text_file(rng, shared, n, "json")),
             (0.1, lambda n: text_file(rng, shared, n, "xml")),
             (0.15, lambda n: text_file(rng, shared, n, "lua")),
             (1.0, lambda n: record_file(rng, shared, n))]
    members, length = [], 0
    while length < size:
        roll, member_size = rng.random(), skewed(rng, 2000, 300_000)
        for share, make in kinds:
            if roll < share:
                break
            roll -= share
        members.append(make(member_size)[:member_size])
        length += len(members[-1])
    index, offset = [], 0
    for number, member in enumerate(members):
        name = f"assets/{shared.words[60 + number % 500]}_{number:04d}.bin".encode()
        index.append(struct.pack("<HII", len(name), offset, len(member)) + name)
        offset += len(member)
    return b"QPAK" + struct.pack("<I", len(members)) + b"".join(index) + b"".join(members)


# ---------------------------------------------------------------- layout

# Knobs that set how well the corpus compresses.
CODE_FRESHNESS = 0.42
ARCHIVE_RANDOM_SHARE = 0.15


# File makers by kind: each takes the file's generator, the shared material, its size and path.
MAKERS = {
    "pe": lambda rng, shared, size, path: pe_file(rng, shared, size, os.path.basename(path)),
    "png": lambda rng, shared, size, path: png_file(rng, size),
    "dds": lambda rng, shared, size, path: dds_file(rng, size),
    "ogg": lambda rng, shared, size, path: ogg_file(rng, size),
    "ttf": lambda rng, shared, size, path: font_file(rng, size),
    "rec": lambda rng, shared, size, path: record_file(rng, shared, size),
    "curve": lambda rng, shared, size, path: curve_file(rng, size),
    "pak": lambda rng, shared, size, path: archive_file(rng, shared, size),
    "html": lambda rng, shared, size, path: html_page(rng, shared, size, "/api/" in path),
    "licence": lambda rng, shared, size, path: licence_file(rng, shared),
    "po": lambda rng, shared, size, path: po_file(shared, size, path.split("/")[2]),
    "mo": lambda rng, shared, size, path: mo_file(shared, size, path.split("/")[2]),
}
for _style in ("md", "txt", "ini", "json", "xml", "css", "lua"):
    MAKERS[_style] = lambda rng, shared, size, path, style=_style: text_file(rng, shared, size,
                                                                              style)
# Catalogs and licences keep their whole content: cut short they would be broken.
NATURAL_KINDS = ("licence", "mo")


# Named files with fixed sizes: the big libraries and data an application ships.
FIXED_FILES = [
    ("bin/appcore.dll", "pe", 2_800_000), ("bin/appgui.dll", "pe", 2_000_000),
    ("bin/crypto.dll", "pe", 1_400_000), ("bin/appwidgets.dll", "pe", 1_000_000),
    ("bin/sqlite3.dll", "pe", 750_000), ("bin/updater.exe", "pe", 600_000),
    ("bin/appnet.dll", "pe", 500_000), ("bin/cxx_runtime.dll", "pe", 450_000),
    ("bin/ssl.dll", "pe", 400_000), ("bin/crashreporter.exe", "pe", 300_000),
    ("bin/appxml.dll", "pe", 250_000), ("bin/appsvg.dll", "pe", 220_000),
    ("bin/helper.exe", "pe", 100_000), ("bin/zlib1.dll", "pe", 88_000),
    ("bin/crt_runtime.dll", "pe", 92_000), ("bin/platforms/windows.dll", "pe", 650_000),
    ("bin/platforms/offscreen.dll", "pe", 170_000), ("bin/qt.conf", "ini", 120),
    ("bin/app.manifest", "xml", 900), ("data/world.dat", "rec", 1_400_000),
    (FILLER, "pak", 0), ("docs/manual.html", "html", 600_000), ("README.md", "md", 5_200),
    ("CHANGELOG.md", "md", 38_000), ("LICENSE.txt", "licence", 0), ("app.ini", "ini", 1_400),
    ("share/mime.xml", "xml", 14_000), ("share/defaults.json", "json", 9_000),
]

# Groups of files with skewed sizes: (folder, kind, extension, count, smallest, largest).
GROUPS = [
    ("bin/imageformats", "pe", ".dll", 8, 30_000, 300_000),
    ("bin/sqldrivers", "pe", ".dll", 3, 60_000, 250_000),
    ("lib", "pe", ".dll", 6, 40_000, 400_000),
    ("lib/scripts", "lua", ".lua", 25, 300, 30_000),
    ("lib/scripts/core", "lua", ".lua", 55, 300, 24_000),
    ("data", "curve", ".bin", 6, 2_000, 200_000),
    ("data/maps", "rec", ".dat", 58, 1_000, 200_000),
    ("data/textures", "png", ".png", 40, 2_000, 80_000),
    ("data/textures", "dds", ".dds", 24, 8_000, 150_000),
    ("data/sounds", "ogg", ".ogg", 30, 8_000, 70_000),
    ("data/fonts", "ttf", ".ttf", 5, 50_000, 250_000),
    ("docs", "html", ".html", 5, 2_000, 30_000),
    ("docs/html", "html", ".html", 160, 2_000, 50_000),
    ("docs/api", "html", ".html", 120, 1_000, 30_000),
    ("resources/icons/16x16", "png", ".png", 85, 200, 1_200),
    ("resources/icons/32x32", "png", ".png", 85, 300, 3_000),
    ("resources/icons/64x64", "png", ".png", 85, 600, 8_000),
    ("resources/themes", "css", ".css", 6, 2_000, 40_000),
    ("resources/themes", "json", ".json", 6, 500, 6_000),
    ("config", "json", ".json", 18, 200, 12_000),
    ("config", "ini", ".ini", 15, 150, 4_000),
    ("config", "xml", ".xml", 12, 300, 20_000),
    ("licenses", "licence", ".txt", 25, 0, 0),
]


def unique_name(rng, shared, taken, extension):
    while True:
        words = [shared.words[60 + below(rng, 2000)] for _ in range(1 + below(rng, 2))]
        name = "_".join(words) + extension
        if name not in taken:
            taken.add(name)
            return name


def plugin_files(rng):
    files = []
    for plugin in PLUGINS:
        folder = f"plugins/{plugin}"
        files.append((f"{folder}/{plugin}.dll", "pe", skewed(rng, 30_000, 500_000)))
        files.append((f"{folder}/plugin.json", "json", skewed(rng, 300, 2_000)))
        files.append((f"{folder}/README.md", "md", skewed(rng, 400, 6_000)))
        for number in range(below(rng, 4)):
            files.append((f"{folder}/resources{number}.xml", "xml", skewed(rng, 500, 20_000)))
    return files


def locale_files(rng):
    files = []
    for language in LANGUAGES:
        folder = f"share/locale/{language}"
        files.append((f"{folder}/app.po", "po", skewed(rng, 90_000, 130_000)))
        files.append((f"{folder}/app.mo", "mo", skewed(rng, 30_000, 80_000)))
        files.append((f"{folder}/plugins.po", "po", skewed(rng, 8_000, 30_000)))
        files.append((f"{folder}/widgets.mo", "mo", skewed(rng, 6_000, 20_000)))
    return files


def build_plan(shared):
    rng = random.Random(SEED + 1)
    files = list(FIXED_FILES) + plugin_files(rng) + locale_files(rng)
    taken = {}
    for folder, kind, extension, count, smallest, largest in GROUPS:
        names = taken.setdefault(folder, set())
        for _ in range(count):
            name = unique_name(rng, shared, names, extension)
            files.append((f"{folder}/{name}", kind, skewed(rng, smallest, largest)))
    return sorted(files)


def write_file(out, path, data):
    full = os.path.join(out, path)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    with open(full, "wb") as handle:
        handle.write(data)


def make_file(shared, path, kind, size):
    data = MAKERS[kind](file_rng(path), shared, size, path)
    return data if kind in NATURAL_KINDS else fit(data, size)


# The runtime corpus: the main executable's size, and its scripts and modules as groups.
RUNTIME_MAIN_BYTES = 64 * 1024 * 1024
RUNTIME_GROUPS = [
    ("lib", "lua", ".lua", 18, 400, 24_000),
    ("lib/std", "lua", ".lua", 14, 300, 16_000),
    ("modules", "pe", ".dll", 6, 20_000, 180_000),
    ("config", "json", ".json", 3, 200, 3_000),
]


def runtime_plan(shared):
    rng = random.Random(SEED + 2)
    files = [("README.md", "md", 3_000)]
    for folder, kind, extension, count, smallest, largest in RUNTIME_GROUPS:
        taken = set()
        for _ in range(count):
            name = unique_name(rng, shared, taken, extension)
            files.append((f"{folder}/{name}", kind, skewed(rng, smallest, largest)))
    return sorted(files)


def make_runtime(out, main_exe):
    shared = build_shared()
    with open(main_exe, "rb") as handle:
        program = handle.read()
    body = pe_file(file_rng("runtime.exe"), shared, RUNTIME_MAIN_BYTES - len(program), "runtime.exe")
    write_file(out, "app.exe", program + body)
    plan = runtime_plan(shared)
    for path, kind, size in plan:
        write_file(out, path, make_file(shared, path, kind, size))
    return plan


def main():
    runtime = len(sys.argv) == 4 and sys.argv[1] == "--runtime"
    if len(sys.argv) != 3 and not runtime:
        sys.exit("usage: make_corpus.py [--runtime] OUT_DIR MAIN_EXE")
    out, main_exe = sys.argv[-2], sys.argv[-1]
    started = time.monotonic()
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    if runtime:
        plan = make_runtime(out, main_exe)
        written = sum(os.path.getsize(os.path.join(out, path)) for path, _, _ in plan)
        folders = {parent for path, _, _ in plan for parent in parents(os.path.dirname(path))}
        print(f"{len(plan)} files in {len(folders)} directories, {written:,} bytes, plus app.exe "
              f"({RUNTIME_MAIN_BYTES:,} bytes); {time.monotonic() - started:.1f} s")
        return
    shutil.copyfile(main_exe, os.path.join(out, "app.exe"))
    shared = build_shared()
    plan = build_plan(shared)
    written = 0
    for path, kind, size in plan:
        if path != FILLER:
            data = make_file(shared, path, kind, size)
            write_file(out, path, data)
            written += len(data)
    rest = TARGET_BYTES - written
    if rest < 1_000_000:
        sys.exit(f"make_corpus.py: the other files leave only {rest} bytes for {FILLER}")
    write_file(out, FILLER, make_file(shared, FILLER, "pak", rest))
    folders = {parent for path, _, _ in plan for parent in parents(os.path.dirname(path))}
    print(f"{len(plan)} files in {len(folders)} directories, {TARGET_BYTES:,} bytes, "
          f"plus app.exe; {time.monotonic() - started:.1f} s")


def parents(folder):
    parts = folder.split("/")
    return ["/".join(parts[:i]) for i in range(1, len(parts) + 1) if parts[0]]


if __name__ == "__main__":
    main()
