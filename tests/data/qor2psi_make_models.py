# Writes hand-designed test models (text form) for qor2psi/plenmod tests.
PROT = "ACDEFGHIKLMNPQRSTVWY"
def node(name, trans, match, insert, A):
    assert len(trans) == 9 and len(match) == A and len(insert) == A
    vals = trans + match + insert
    out = name + "\n"
    for i in range(0, 9, 3):
        out += " ".join("%g" % v for v in vals[i:i+3]) + "\n"
    em = match + insert
    for i in range(0, len(em), 5):
        out += " ".join("%g" % v for v in em[i:i+5]) + "\n"
    return out
def prot(d):
    return [float(d.get(c, 0)) for c in PROT]
ones = [1.0]*20
zeros = [0.0]*20
T_begin = [0,0,0, 0,0,0, 0,0.5,0.5]
T_mid = [0.1,0.1,0.2, 0.8,0.8,0.4, 0.1,0.1,0.4]
T_end = [0,0,0, 0.9,0.9,0.6, 0,0,0]
def model(title, nodes, alpha="protein"):
    s = "MODEL -- %s\nalphabet %s\n" % (title, alpha)
    for n in nodes:
        s += n
    s += "ENDMODEL\n"
    return s
open("qor2psi_fim1.mod","w").write(model("first position a FIM", [
    node("Begin", T_begin, zeros, ones, 20),
    "TYPE 1 F\n" + node("1", T_mid, zeros, ones, 20),
    node("2", T_mid, prot({'W':8,'Y':4,'A':2,'C':1,'D':1}), ones, 20),
    node("3", T_mid, prot({'A':3,'R':3,'G':2}), ones, 20),
    node("End", T_end, zeros, zeros, 20)]))
open("qor2psi_mid.mod","w").write(model("a FIM in the middle", [
    node("Begin", T_begin, zeros, ones, 20),
    node("1", T_mid, prot({'K':1}), ones, 20),
    "TYPE 2 F\n" + node("2", T_mid, zeros, ones, 20),
    node("3", T_mid, prot({'V':5,'I':3}), ones, 20),
    node("End", T_end, zeros, zeros, 20)]))
open("qor2psi_ends.mod","w").write(model("FIMs at both ends", [
    node("Begin", T_begin, zeros, ones, 20),
    "TYPE 1 F\n" + node("1", T_mid, zeros, ones, 20),
    node("2", T_mid, prot({'M':1,'L':1,'P':2}), ones, 20),
    node("3", T_mid, [1.0]*20, ones, 20),
    "TYPE 4 F\n" + node("4", T_mid, zeros, ones, 20),
    node("End", T_end, zeros, zeros, 20)]))
open("qor2psi_allfim.mod","w").write(model("only FIMs", [
    node("Begin", T_begin, zeros, ones, 20),
    "TYPE 1 F\n" + node("1", T_mid, zeros, ones, 20),
    "TYPE 2 F\n" + node("2", T_mid, zeros, ones, 20),
    node("End", T_end, zeros, zeros, 20)]))
open("qor2psi_zero.mod","w").write(model("no match probabilities", [
    node("Begin", T_begin, zeros, ones, 20),
    node("1", T_mid, zeros, ones, 20),
    node("2", T_mid, zeros, ones, 20),
    node("End", T_end, zeros, zeros, 20)]))
d4 = lambda *v: [float(x) for x in v]
open("qor2psi_dna.mod","w").write(model("a DNA model", [
    node("Begin", T_begin, d4(0,0,0,0), d4(1,1,1,1), 4),
    node("1", T_mid, d4(1,0,0,0), d4(1,1,1,1), 4),
    node("2", T_mid, d4(0,1,0,0), d4(1,1,1,1), 4),
    node("End", T_end, d4(0,0,0,0), d4(0,0,0,0), 4)], "DNA"))
# plenmod: DNA model of two positions without FIMs, values normalised already.
open("plenmod_plain.mod","w").write(model("two positions", [
    node("Begin", [0,0,0, 0,0,0, 0,0.1,0.5], d4(0.25,0.25,0.25,0.25), d4(0.25,0.25,0.25,0.25), 4),
    node("1", [0,0.1,0.2, 0,0.8,0.3, 0.1,0.1,0.4], d4(0.5,0.25,0.125,0.125), d4(0.25,0.25,0.25,0.25), 4),
    node("2", [0.2,0.1,0.2, 0.7,0.8,0.4, 0.1,0.1,0.4], d4(0.1,0.2,0.3,0.4), d4(0.25,0.25,0.25,0.25), 4),
    node("End", [0,0,0, 0.9,0.9,0.6, 0,0,0], d4(0,0,0,0), d4(0,0,0,0), 4)], "DNA"))
