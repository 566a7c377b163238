#!/usr/bin/env python3
"""Derives the text collation tables of collation_data.cpp from index entries stored in files.

Usage: collation_derive.py SHARED_FIXTURES_DIR > jet/src/index/collation_data.cpp

Sources (read-only fixtures):
  * unicode-bmp.mdb (Jet4): table CharSamples, one row per BMP code unit, index `Sample` on the
    character. Every entry gives that character's General-legacy rule directly; the row is found
    through the primary-key index on ID, its text through the fixture's JSON spec. The rules are
    emitted as runs of consecutive code units whose codes step evenly, which keeps the table small.
  * unicode-index.mdb (Jet4): the same layout over fewer characters; its rules are checked against
    the ones above.
  * access/jackcess-V1997-testIndexCodesV1997.mdb (Jet3, written by Access 97): table Table1 holds
    "AA" + byte + "AA" for every Windows-1252 byte; its `DataIndex` entries give the General 97 code
    of every byte 0x80-0xFF (the ASCII half is checked against the same data).

Characters established this way are exact; together with the ASCII table and the range formulas
of collation_jet4.cpp they cover the whole BMP except U+FFFD.
"""
import json
import os
import struct
import sys


class File:
    def __init__(self, path):
        with open(path, 'rb') as f:
            self.data = f.read()
        self.jet4 = self.data[0x14] != 0
        self.page_size = 4096 if self.jet4 else 2048

    def page(self, n):
        return self.data[n * self.page_size:(n + 1) * self.page_size]

    def index_page(self, n):
        p = self.page(n)
        if self.jet4:
            nxt = struct.unpack_from('<I', p, 0x10)[0]
            prefix = struct.unpack_from('<H', p, 0x18)[0]
            bitmap, area, bitmap_len = 0x1B, 0x1E0, 453
        else:
            nxt = struct.unpack_from('<I', p, 0x0C)[0]
            prefix = p[0x14]
            bitmap, area, bitmap_len = 0x16, 0xF8, 226
        entries, start = [], 0
        for k in range(bitmap_len * 8):
            if p[bitmap + k // 8] >> (k % 8) & 1:
                raw = p[area + start:area + k]
                entries.append(raw if not entries else entries[0][:prefix] + raw)
                start = k
        return p[0], nxt, entries

    def leaf_entries(self, root):
        n = root
        while True:
            kind, _, entries = self.index_page(n)
            if kind == 4:
                break
            n = struct.unpack('>I', entries[0][-4:])[0]
        out = []
        while n:
            _, n, entries = self.index_page(n)
            for e in entries:
                out.append((e[:-4], (int.from_bytes(e[-4:-1], 'big'), e[-1])))
        return out


def split_jet4_key(key):
    """Splits an ascending single-column Jet4 text key into (inline, rest)."""
    assert key[0] == 0x7F and key[-1] == 0x00
    body = key[1:-1]
    cut = body.index(1)
    return body[:cut], body[cut + 1:]


KANA_TAIL = bytes([0xFF, 0x02, 0x80, 0xFF, 0x80])


def jet4_rule(key):
    inline, rest = split_jet4_key(key)
    if len(rest) == 2 and len(inline) == 2 and inline[0] < 0x79 and inline[1] < 0x79:
        # A two-letter expansion with an accent on each letter (or only on the second: the first
        # is then the filler 02), as in U+01C4 and U+01FC: the second extra rides in `flag`.
        return ('kInternational', inline, rest[0], rest[1])
    if not inline and not rest:
        return ('kIgnored', b'', 0, 0)
    if not inline and rest[:4] == bytes([1, 1, 1, 0x80]) and rest[4:6] == bytes([0x07, 0x06]):
        assert len(rest) == 7
        return ('kUnprintable', b'', rest[6], 0)
    if rest.endswith(KANA_TAIL):
        head = rest[:-len(KANA_TAIL)]
        cut = head.index(bytes([1, 1]))
        extra, flags = head[:cut], head[cut + 2:]
        assert len(extra) <= 1 and len(flags) <= 1
        flag = 3 if not flags else (flags[0] >> 4) & 3
        return ('kKana', inline, extra[0] if extra else 0, flag)
    if not rest:
        return ('kSimple', inline, 0, 0)
    assert len(rest) == 1, key.hex()
    return ('kInternational', inline, rest[0], 0)


def derive_jet4_bmp(fixtures):
    f = File(os.path.join(fixtures, 'unicode-bmp.mdb'))
    with open(os.path.join(fixtures, 'unicode-bmp.json'), encoding='utf-8') as js:
        rows = {r[0]: r for r in json.load(js)['tables'][0]['rows']}
    roots = find_roots(f, 24)  # CharSamples: real index 0 = primary key (ID), 1 = Sample
    id_of = {ptr: int.from_bytes(k[1:], 'big') ^ 0x80000000 for k, ptr in f.leaf_entries(roots[0])}
    rules = {}
    for key, ptr in f.leaf_entries(roots[1]):
        sample = rows[id_of[ptr]][1]
        if len(sample) == 1 and ord(sample) >= 0x80 and not in_formula_range(ord(sample)):
            rules[ord(sample)] = jet4_rule(key)
    return rules


def runs_of(rules):
    """Consecutive code units with the same class, extra and flag whose inline codes, read as one
    big-endian number, step by 0 or 1: (first, count, rule of first, step)."""
    def value(inline):
        return int.from_bytes(inline, 'big') if inline else 0
    runs = []
    for cp in sorted(rules):
        cls, inline, extra, flag = rules[cp]
        if runs:
            first, count, (rcls, rinline, rextra, rflag), step = runs[-1]
            if (cp == first + count and (cls, extra, flag) == (rcls, rextra, rflag)
                    and len(inline) == len(rinline)):
                d = value(inline) - value(rinline)
                if count == 1 and d in (0, 1):
                    runs[-1] = (first, 2, runs[-1][2], d)
                    continue
                if count > 1 and d == step * count:
                    runs[-1] = (first, count + 1, runs[-1][2], step)
                    continue
        runs.append((cp, 1, rules[cp], 0))
    return runs


def derive_jet4(fixtures):
    f = File(os.path.join(fixtures, 'unicode-index.mdb'))
    with open(os.path.join(fixtures, 'unicode-index.json'), encoding='utf-8') as js:
        rows = {r[0]: r for r in json.load(js)['tables'][0]['rows']}
    # Table CharSamples: real index 0 = primary key (ID), 1 = Sample; roots as stored in its TDEF.
    tdef = f.page(24)
    nreal = struct.unpack_from('<I', tdef, 0x33)[0]
    assert nreal == 4
    id_of = {}
    rules = {}
    roots = find_roots(f, 24)
    for key, ptr in f.leaf_entries(roots[0]):
        id_of[ptr] = int.from_bytes(key[1:], 'big') ^ 0x80000000
    for key, ptr in f.leaf_entries(roots[1]):
        sample = rows[id_of[ptr]][1]
        if len(sample) == 1 and ord(sample) >= 0x80 and not in_formula_range(ord(sample)):
            rules[ord(sample)] = jet4_rule(key)
        elif sample == 'Ελληνικά':
            # The only sample with U+03AC: eight inline pairs, extras 02 x7 then 05.
            inline, rest = split_jet4_key(key)
            assert inline[-2:] == bytes([0x79, 0x0C]) and rest[-1] == 0x05
            rules[0x03AC] = ('kInternational', inline[-2:], 0x05, 0)
    return rules


def in_formula_range(cp):
    """CJK ideographs and Hangul syllables are computed, not tabulated (collation_jet4.cpp)."""
    return 0x4E00 <= cp <= 0x9FA5 or 0xAC00 <= cp <= 0xD7A3


def find_roots(f, tdef_page):
    t = f.page(tdef_page)
    ncols = struct.unpack_from('<H', t, 0x2D)[0]
    nreal = struct.unpack_from('<I', t, 0x33)[0]
    off = 0x3F + 12 * nreal + 25 * ncols
    for _ in range(ncols):
        off += 2 + struct.unpack_from('<H', t, off)[0]
    return [struct.unpack_from('<I', t, off + 52 * i + 0x26)[0] for i in range(nreal)]


def derive_jet3(fixtures):
    f = File(os.path.join(fixtures, 'access', 'jackcess-V1997-testIndexCodesV1997.mdb'))
    dump = os.path.join(fixtures, 'expected', 'access-jackcess-V1997-testIndexCodesV1997.jsonl')
    with open(dump, encoding='utf-8') as js:
        values = {}
        for line in js:
            o = json.loads(line)
            if o.get('table') == 'Table1' and 'row' in o:
                values[o['row'][0]] = o['row'][1]
    # Table1 (TDEF page 45): DataIndex root 50, PrimaryKey (name) root 53. The names are
    # "row" + digits, whose General 97 codes are known (r 75, o 72, w 7B, digits 56-5F).
    letters = {0x75: 'r', 0x72: 'o', 0x7B: 'w'}
    letters.update({0x56 + i: str(i) for i in range(10)})
    name_of = {}
    for key, ptr in f.leaf_entries(53):
        name_of[ptr] = ''.join(letters[b] for b in key[1:-1])
    codes = {}
    undefined = []
    for key, ptr in f.leaf_entries(50):
        v = values[name_of[ptr]]
        if v is None or len(v) != 5 or v[:2] != 'AA' or v[3:] != 'AA':
            continue
        if v[2] == '\ufffd':
            # The five bytes Windows-1252 leaves undefined were dumped as U+FFFD; the data shows
            # one code for all of them, so it holds for each.
            undefined.append(key[3:-3])
            continue
        byte = v[2].encode('cp1252')[0]
        if v[2] == '?' and key[3] != 0x26:
            continue
        body = key[1:]
        # 7F 60 60 <inline...> 60 60 then either 00 or the extra nibbles (first byte 0x0n);
        # every main-part code is >= 0x10.
        cut = next(i for i, b in enumerate(body) if b < 0x10)
        main, extra = body[:cut], body[cut:]
        assert main[:2] == bytes([0x60, 0x60]) and main[-2:] == bytes([0x60, 0x60]), key.hex()
        inline = main[2:-2]
        nib = 0
        if extra != b'\x00':
            assert extra[0] == 0x02 and extra[1] >> 4 == 2, key.hex()
            nib = extra[1] & 0x0F
        codes.setdefault(byte, (inline, nib))
    assert len(undefined) == 5 and len(set(undefined)) == 1
    for byte in (0x81, 0x8D, 0x8F, 0x90, 0x9D):
        codes[byte] = (undefined[0], 0)
    return codes


def main():
    fixtures = sys.argv[1]
    jet4 = derive_jet4_bmp(fixtures)
    for cp, rule in derive_jet4(fixtures).items():
        assert jet4.get(cp, rule) == rule, hex(cp)
        jet4.setdefault(cp, rule)
    jet3 = derive_jet3(fixtures)
    emit(jet4, jet3)


def emit(jet4, jet3):
    print('// Generated by collation_derive.py from the index entries stored in unicode-bmp.mdb and')
    print('// unicode-index.mdb (Jet4, index Sample) and access/jackcess-V1997-testIndexCodesV1997.mdb')
    print('// (Jet3, Table1.DataIndex). Do not edit by hand; rerun the script.')
    print('#include "index/collation.h"\n')
    print('namespace jet::collation {\n')
    print('// Jet4 General-legacy rules established from stored entries, as runs of code units:')
    print('// {first, count, class, inline length, inline bytes of the first, extra, flag, step}; the')
    print('// inline bytes of first + k are those of the first, read as one number, plus k * step.')
    print('const Jet4Run kJet4Derived[] = {')
    for first, count, (cls, inline, extra, flag), step in runs_of(jet4):
        b = list(inline) + [0] * (4 - len(inline))
        print('    {0x%04X, %d, Jet4Class::%s, %d, {0x%02X, 0x%02X, 0x%02X, 0x%02X}, 0x%02X, %d, %d},'
              % (first, count, cls, len(inline), b[0], b[1], b[2], b[3], extra, flag, step))
    print('};')
    print('const size_t kJet4DerivedCount = sizeof(kJet4Derived) / sizeof(kJet4Derived[0]);\n')
    print('// Jet3 General-97 codes of Windows-1252 bytes established from stored entries:')
    print('// {byte, inline length, inline bytes, extra nibble (0 = none)}.')
    print('const Jet3Entry kJet3Derived[] = {')
    for byte in sorted(jet3):
        inline, nib = jet3[byte]
        b = list(inline) + [0] * (2 - len(inline))
        print('    {0x%02X, %d, {0x%02X, 0x%02X}, 0x%X},' % (byte, len(inline), b[0], b[1], nib))
    print('};')
    print('const size_t kJet3DerivedCount = sizeof(kJet3Derived) / sizeof(kJet3Derived[0]);\n')
    print('}  // namespace jet::collation')


if __name__ == '__main__':
    main()
