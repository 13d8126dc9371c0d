#!/usr/bin/env python3
"""Fills unfinished entries of translations/ch.ts from a JSON object {source: translation}.
A developer tool: run scripts/update-translations.sh first, then this with the new texts."""
import json
import re
import sys
from xml.sax.saxutils import escape, unescape

ts_path = 'translations/ch.ts'
table = json.load(open(sys.argv[1], encoding='utf-8'))
text = open(ts_path, encoding='utf-8').read()
ents = {'&apos;': "'", '&quot;': '"'}


def fill(m):
    src = m.group(1)
    key = unescape(src, ents)
    if key in table:
        return '<source>%s</source>\n        <translation>%s</translation>' % (src, escape(table[key]))
    return m.group(0)


text = re.sub(r'<source>([^<]*)</source>\n\s*<translation type="unfinished"></translation>', fill, text, flags=re.S)
open(ts_path, 'w', encoding='utf-8').write(text)
left = text.count('type="unfinished"')
print('unfinished left: %d' % left)
