#!/usr/bin/env python3
"""Splits a schema script into statements exactly as the program's script interpreter does, and
writes them out as an isql-fb script, so that isql-fb executes the very statements the program
would send.  Fails on text the interpreter would mangle: an unclosed comment, or a statement that
still holds its terminator or a comment after the split.

Usage: split-statements.py SCRIPT [--list]
SCRIPT is read as single-byte text (cp1252), the output keeps the bytes unchanged."""
import re
import sys

ISQL_TERM = '!!'


def split_statements(lines, term):
    statements = []  # (text, terminator in force)
    pending = ''
    i = 0
    n = len(lines)
    while i < n:
        line = lines[i]
        trimmed = line.strip()
        i += 1
        if trimmed == '':
            continue
        if trimmed == '*/':
            if statements:
                text, t = statements[-1]
                statements[-1] = (text + line, t)
            continue
        if trimmed.startswith('/*'):
            if '*/' not in line:
                while i < n and '*/' not in lines[i]:
                    i += 1
                if i >= n:
                    raise ValueError('comment never closed')
                pending = ' ' + lines[i][lines[i].index('*/') + 2:]
                i += 1
            continue
        if trimmed.upper().startswith('SET TERM'):
            term = trimmed[8:].strip().replace(term, '', 1).strip()
            continue
        p = trimmed.find(term) + 1
        c = line.find('/*') + 1
        if trimmed.endswith(term) or c > p:
            if p > 0:
                trimmed = trimmed[:p - 1] + trimmed[p - 1 + len(term):]
            text = (pending + ' ' + trimmed).strip()
        else:
            text = pending + ' ' + line
            while i < n:
                nxt = lines[i]
                i += 1
                if nxt.strip() == '':
                    continue
                text += '\r\n' + nxt
                q = nxt.find(term)
                cc = nxt.find('/*')
                if q >= 0 and (q + len(term) == len(nxt) or (cc >= 0 and q < cc)):
                    break
            text = text.replace(term, '', 1).strip()
        if text:
            statements.append((text, term))
        pending = ''
    return statements


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    with open(sys.argv[1], 'rb') as f:
        source = f.read().decode('latin-1')
    lines = re.split(r'\r\n|\r|\n', source)
    try:
        statements = split_statements(lines, ';')
    except ValueError as e:
        sys.exit('%s: Unable to parse script (%s)' % (sys.argv[1], e))
    bad = False
    for text, term in statements:
        if term in text or '/*' in text or ISQL_TERM in text:
            sys.stderr.write('%s: statement would reach the server mangled:\n%s\n' % (sys.argv[1], text))
            bad = True
    if bad:
        sys.exit(1)
    out = sys.stdout.buffer
    if '--list' in sys.argv[2:]:
        for number, (text, _) in enumerate(statements, 1):
            out.write(('-- %d\n%s\n' % (number, text)).encode('latin-1'))
        return
    out.write(('set term %s ;\n' % ISQL_TERM).encode('latin-1'))
    for text, _ in statements:
        out.write(('%s\n%s\n' % (text.replace('\r\n', '\n'), ISQL_TERM)).encode('latin-1'))
    out.write(('set term ; %s\n' % ISQL_TERM).encode('latin-1'))


if __name__ == '__main__':
    main()
