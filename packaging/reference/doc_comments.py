#!/usr/bin/env python3
"""Doxygen's input filter for the engine's headers.

The headers document their declarations in plain // comments, as the rest of the code does:
a comment directly above a declaration (or after it on its line) states its contract, the
comment after `#pragma once` describes the file. This turns exactly those into Doxygen
comments and leaves the rest alone: comments inside function bodies, and comment blocks
followed by a blank line (section titles, notes on a group). The line count stays the same,
so Doxygen's messages point at the real lines.
"""
import re
import sys

SCOPE = re.compile(r"\b(namespace|class|struct|union|enum)\b")
COMMENT_LINE = re.compile(r"^(\s*)//(?!/)\s?(.*)$")


def escape(text):
    """Escapes what Doxygen would read as commands, HTML or links; it reads quotes verbatim."""
    parts = text.split('"')
    for k in range(0, len(parts), 2):
        parts[k] = re.sub(r"([\\@<>&%#$])", r"\\\1", parts[k])
    return '"'.join(parts)


def code_part(line):
    """The line's code without string or character contents, and where its // comment starts."""
    out, i, quote = [], 0, None
    while i < len(line):
        c = line[i]
        if quote:
            if c == "\\":
                i += 1
            elif c == quote:
                quote = None
        elif c in "\"'":
            quote = c
        elif line.startswith("//", i):
            break
        else:
            out.append(c)
        i += 1
    return "".join(out), i


def filter_header(lines):
    out = list(lines)
    stack = []  # per open brace: True for a scope (namespace, class, enum), False for a body
    statement = ""  # code since the last ; { or }
    in_macro = False
    pending = []  # indexes of the comment block being collected at scope level
    after_pragma = False

    def in_scope():
        return all(stack)

    for i, line in enumerate(lines):
        stripped = line.strip()
        if stripped == "#pragma once":
            out[i] = "/// @file"
            after_pragma = True
            continue
        comment = COMMENT_LINE.match(line)
        if comment and in_scope() and not in_macro:
            pending.append(i)
            continue
        if pending:
            # A block directly above code documents it; the file's own block follows the pragma.
            if (stripped and not comment) or after_pragma:
                for j in pending:
                    indent, text = COMMENT_LINE.match(lines[j]).groups()
                    out[j] = f"{indent}/// {escape(text)}".rstrip()
            pending.clear()
        after_pragma = False
        if in_macro or stripped.startswith("#"):
            in_macro = line.rstrip().endswith("\\")
            continue
        code, comment_at = code_part(line)
        if comment_at < len(line) and in_scope() and code.rstrip().endswith((";", ",")):
            out[i] = line[:comment_at] + "///< " + escape(line[comment_at + 2:].strip())
        for c in code:
            if c == "{":
                stack.append(bool(SCOPE.search(statement)))
                statement = ""
            elif c == "}":
                if stack:
                    stack.pop()
                statement = ""
            elif c == ";":
                statement = ""
            else:
                statement += c
        statement += " "
    return out


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        lines = f.read().split("\n")
    sys.stdout.write("\n".join(filter_header(lines)))


if __name__ == "__main__":
    main()
