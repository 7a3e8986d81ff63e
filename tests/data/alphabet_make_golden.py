#!/usr/bin/env python3
"""Independent computation of the expected alphabet listings (tests/data/alphabet_*.txt, glyphroll_*.txt).

Written from the listing rules, not from the program's output: the built-in table with its letter
counts, the regularizers (protein background; uniform backgrounds for every other built-in and for
user alphabets) held as single-precision values, and the listing layout.
Run from tests/data:  python3 alphabet_make_golden.py
"""
import struct

def f32(x):
    return struct.unpack('f', struct.pack('f', x))[0]

TRANS = [1.886984, 0.254944, 0.376488, 1.819972, 15.52134, 3.764209, 0.225758, 0.265967, 4.006562]
PROTEIN = [0.08713, 0.03347, 0.04687, 0.04953, 0.03977, 0.08861, 0.03362, 0.03689, 0.08048, 0.08536,
           0.01475, 0.04043, 0.05068, 0.03826, 0.0409, 0.06958, 0.05854, 0.06472, 0.01049, 0.02992]

# id, name, base letters, with wildcards, letters, conversions, comment
TABLE = """1|DNA|4|7|AGCTRYN|XN,UT|DNA with R=Purine G/A and Y=Pyrimidine C/T
34|CODON|4|5|AGCTN|XN,UT|DNA codons in AAA G..C..TTT order
2|RNA|4|7|AGCURYN|XN,TU|RNA with R=Purine G/A and Y=Pyrimidine C/U
3|protein|20|23|ACDEFGHIKLMNPQRSTVWYBZX||Protein with B=N/D and Z=Q/E
4|DSSP|8|9|EHTSGBICX|LC|DSSP Secondary structure alphabet
5|EHL|3|4|EHCX|GH,LC,TC,SC,BC,IC|Secondary structure alphabet
6|EHL2|3|4|EHCX|GH,LC,TC,SC,BE,IH|Secondary structure alphabet
7|EHTL|4|5|EHTCX|GH,LC,SC,BC,IC|Secondary structure alphabet
8|EHTL2|4|5|EHTCX|BE,GH,IH,LC,SC|Secondary structure alphabet
9|EBHTL|5|6|EBHTCX|GH,IH,LC,SC|Secondary structure alphabet
10|EBGHSTL|7|8|EBGHSTCX|IH,LC|Secondary structure alphabet
11|EBGHTL|6|7|EBGHTCX|IH,LC,SC|Secondary structure alphabet
18|STRIDE|7|8|EBGHITCX|LC,SC|Full STRIDE Secondary structure alphabet
12|PB|16|17|ABCDEFGHIJKLMNOPX||Protein blocks alphabet
13|STR|13|14|ABCEGHIMPQSTZX||Strand alphabet
14|ANG|10|11|EPGHLYDNTSX||Quelmart angle alphabet without C (cis)
17|QMR|11|12|CDEGHLNPSTYX||Quelmart angle alphabet including C (cis)
15|TCO|4|5|EFGHX||Cosine dihedral alphabet
16|ALPHA|11|12|ABCDEFGHISTX||C-alpha dihedral alphabet
19|STR2|13|14|ABCEGHMPQSTYZX|IH,LC|STR2 alphabet
20|CB_BURIAL_12_7|7|8|ABCDEFG||CB_BURIAL_12_7 alphabet
21|CB_BURIAL_14_7|7|8|ABCDEFG||CB_BURIAL_14_7 alphabet
22|CB_BURIAL_16_7|7|8|ABCDEFG||CB_BURIAL_16_7 alphabet
23|BURIAL_8_7|7|8|ABCDEFG||BURIAL_8_7 alphabet
24|BURIAL_9_7|7|8|ABCDEFG||BURIAL_9_7 alphabet
25|BURIAL_10_7|7|8|ABCDEFG||BURIAL_10_7 alphabet
26|CA_BURIAL_12_7|7|8|ABCDEFG||CA_BURIAL_12_7 alphabet
27|CA_BURIAL_14_7|7|8|ABCDEFG||CA_BURIAL_14_7 alphabet
28|ABSSA7|7|8|BCDHGFE||ABSSA7 alphabet
29|RELSA2|2|3|BE||RELSA2 alphabet
30|RELSA3|3|4|BIE||RELSA3 alphabet
31|RELSA7|7|8|ABCDEFG||RELSA7 alphabet
32|RELSA10|10|11|ABCDEFGHIJ||RELSA10 alphabet
33|NEAR-BACKBONE-11|11|12|ABCDEFGHIJK||Near Backbone 11 alphabet
35|n_sep|20|21|ABCDGHIJKLMNPQRSTUVWX||Hbond Separation alphabet based on donor
36|o_sep|20|21|ABCDGHIJKLMNPQRSTUVWX||Hbond Separation alphabet based on acceptor
38|o_notor|8|9|ABGHMNPSX||Hbond Torsion angle alphabet based on donor
37|n_notor|8|9|ABGHMNPSX||Hbond Torsion angle alphabet based on acceptor
40|o_notor2|11|12|ABFGHIJMNPSX||Hbond Torsion angle alphabet based on donor
39|n_notor2|11|12|ABFGHIMJNPSX||Hbond Torsion angle alphabet based on acceptor"""

def builtins():
    out = []
    for line in TABLE.split('\n'):
        i, name, L, W, letters, conv, comment = line.split('|')
        i, L, W = int(i), int(L), int(W)
        rec = dict(id=i, name=name, comment=comment, L=L, W=W, F=L, FW=W, letters=letters,
                   conv=conv or None, trans=[f32(t) for t in TRANS], digits=0)
        if i == 34:
            rec['F'], rec['FW'] = 64, 125
        if i == 3:
            reg = [f32(p) for p in PROTEIN]
        else:
            reg = [f32(1.0 / rec['F'])] * rec['F']
        rec['match'] = list(reg)
        rec['insert'] = list(reg)
        out.append(rec)
    return out

def user(name, letters=None, count=None):
    h = count if count is not None else len(letters)
    digits = 0
    if count is not None:
        digits = 1 if h < 11 else (2 if h < 101 else 3)
    reg = [f32(1.0 / (h - 1))] * (h - 1)
    return dict(id=41, name=name, comment=None, L=h - 1, W=h, F=h - 1, FW=h,
                letters=letters.upper() if letters else None, conv=None,
                trans=[f32(t) for t in TRANS], match=list(reg), insert=list(reg), digits=digits)

EMPTY = dict(id=41, name=None, comment=None, L=0, W=0, F=0, FW=0, letters=None, conv=None,
             trans=[0.0] * 9, match=[], insert=[], digits=0)

def reg_text(rec, values, what):
    s = ''
    for i, v in enumerate(values):
        if i % 4 == 0:
            s += '\n'
        if rec['id'] == 34:
            l = rec['letters']
            s += ' %c%c%c %9.6f  ' % (l[i // 16 % 4], l[i // 4 % 4], l[i % 4], v)
        elif rec['letters']:
            s += ' %c %9.6f  ' % (rec['letters'][i], v)
        else:
            s += (' %%%dd %%9.6f  ' % rec['digits']) % (i, v)
    total = 0.0
    for v in values:
        total += v
    s += '\n# Total %s regularizer weight is %9.6f\n' % (what, total)
    return s

def listing(rec):
    s = '#InternalID:        %d\n' % rec['id']
    s += 'Name:          %s\n' % (rec['name'] or '<none>')
    s += 'Comment:       %s\n' % (rec['comment'] or '<none>')
    s += 'Length:        %-3d\n' % rec['L']
    s += 'WildCards:     %-3d\n' % (rec['W'] - rec['L'])
    s += 'FLength:       %-3d\n' % rec['F']
    s += 'FWildCards:    %-3d\n' % (rec['FW'] - rec['F'])
    s += 'Letters:       %s\n' % (rec['letters'] or '<numeric alphabet>')
    s += 'Convert:       %s\n' % (rec['conv'] or '<none>')
    s += 'MatchRegularizer:' + reg_text(rec, rec['match'], 'match')
    s += 'InsertRegularizer:' + reg_text(rec, rec['insert'], 'insert')
    t = rec['trans']
    s += 'TransitionRegularlizer:\n'
    s += ' IntoDeleteFrom:  D %9.6f M %9.6f I %9.6f\n' % tuple(t[0:3])
    s += ' IntoMatchFrom:   D %9.6f M %9.6f I %9.6f\n' % tuple(t[3:6])
    s += ' IntoInsertFrom:  D %9.6f M %9.6f I %9.6f\n' % tuple(t[6:9])
    return s

def table_listing(recs):
    return ''.join('############################################\n' + listing(r) for r in recs)

def track_listing(tracks):
    s = ''
    for t in range(6):
        s += '########### Track %d alphabet ##############\n' % t
        if t < len(tracks):
            s += listing(tracks[t])
    return s

def write(name, text):
    with open(name, 'w') as f:
        f.write(text)

B = builtins()
byname = {r['name']: r for r in B}

# Every record of the table: 40 built-ins and six empty user slots.
write('alphabet_all.txt', table_listing(B + [EMPTY] * 6))
# -alphabet protein
write('alphabet_tracks_protein.txt', track_listing([byname['protein']]))
# -alphabet_def mine,ABCX
write('alphabet_tracks_mine.txt', track_listing([user('mine', 'ABCX')]))
# alphabet_def DNA,-,nums,21 : DNA and a numeric alphabet of 21 numbers
write('alphabet_tracks_dna_nums.txt', track_listing([byname['DNA'], user('nums', count=21)]))
# DNA after the background file alphabet_back_dna.txt (Order T C G A, Probs 0.1 0.2 0.3 0.4)
dna = dict(byname['DNA'])
dna['match'] = [f32(0.4), f32(0.3), f32(0.2), f32(0.1)]  # A G C T
dna['insert'] = list(dna['match'])
write('alphabet_tracks_dna_back.txt', track_listing([dna]))
# The whole table after the same background file
write('glyphroll_all_dna_back.txt', table_listing([dna] + B[1:] + [EMPTY] * 6))
# CODON alone: 64 codon entries
write('alphabet_codon.txt', listing(byname['CODON']))

def lookup(rec):
    """The 256 letter indices of a built-in alphabet: catch-all everywhere, each letter (and the
    lower-case form of an upper-case letter) its index, then each conversion pair F,T gives F (and
    its lower-case form) the index T has at that moment."""
    t = [rec['W'] - 1] * 256
    for k, ch in enumerate(rec['letters']):
        t[ord(ch)] = k
        if 'A' <= ch <= 'Z':
            t[ord(ch) + 32] = k
    if rec['conv']:
        for pair in rec['conv'].split(','):
            f, to = pair[0], pair[1]
            t[ord(f)] = t[ord(to)]
            if 'A' <= f <= 'Z':
                t[ord(f) + 32] = t[ord(to)]
    return t

# One line per built-in alphabet in table order: its name and the index of every byte 0..255.
write('alphabet_lookups.txt', ''.join(r['name'] + ' ' + ' '.join(str(v) for v in lookup(r)) + '\n'
                                       for r in B))
