#!/bin/bash
# End-to-end tests of trellan3: the ".dat" crossing report for small score files worked out by
# hand, the plotted column and its negation, bad input, and random files checked against an
# independent computation in awk.
source "$QOR_E2E_LIB"

[ -x "$BIN/trellan3" ] || skip "trellan3 was not built"

# scores FILE VALUE...: a score file with one entry per value in report column 1 (length 10,
# column 2 = 0, no E-value).
scores() {
    local file=$1 n=0; shift
    echo "% test scores" > "$file"
    for v in "$@"; do n=$((n + 1)); echo "s$n 10 $v 0" >> "$file"; done
}

CASE="family entirely below the database: the walk is skipped"
scores fam.dist -30 -20 -25
scores db.dist -5 -1 2
run trellan3 r1 -distfile fam.dist -distfile2 db.dist
expect_status 0
expect_text r1.dat "flips between x: 0.00, y: 1.00 score:-5.00 and x: 1.00, y: 0.00 score:-20.00\n   1 sequences at FP=FN\n   1 FN at FP=0\n   0 FP at FN=0\n"
expect_text out.txt ""
expect_grep err.txt "Reading scores from file fam.dist"
expect_grep err.txt "Reading scores from file db.dist"

CASE="overlapping scores: merge, interpolation and the crossing"
scores fam.dist 8 1 6 3 2
scores db.dist 10 4 7 5 9
run trellan3 r2 -distfile fam.dist -distfile2 db.dist
expect_status 0
expect_text r2.dat "flips between x: 2.00, y: 2.50 score: 6.00 and x: 2.33, y: 2.00 score: 5.00\n   2 sequences at FP=FN\n   3 FN at FP=0\n   3 FP at FN=0\n"

CASE="the same scores negated with -plotnegate 1"
scores fam.dist -8 -1 -6 -3 -2
scores db.dist -10 -4 -7 -5 -9
run trellan3 r3 -distfile fam.dist -distfile2 db.dist -plotnegate 1
expect_status 0
expect_text r3.dat "flips between x: 2.00, y: 2.50 score: 6.00 and x: 2.33, y: 2.00 score: 5.00\n   2 sequences at FP=FN\n   3 FN at FP=0\n   3 FP at FN=0\n"

CASE="the walk passes every database entry: the database end counts as worst"
scores fam.dist 1 10 11 12
scores db.dist 2 3
run trellan3 r4 -distfile fam.dist -distfile2 db.dist
expect_status 0
expect_text r4.dat "flips between x: 2.00, y: 2.00 score:11.00 and x: 3.00, y: 2.00 score:10.00\n   2 sequences at FP=FN\n   4 FN at FP=0\n   2 FP at FN=0\n"

CASE="equal scores: ties go to the family, equal neighbours give the mean"
scores fam.dist 3 3 9
scores db.dist 3 3 10
run trellan3 r5 -distfile fam.dist -distfile2 db.dist
expect_status 0
expect_text r5.dat "flips between x: 2.00, y: 2.00 score: 3.00 and x: 3.00, y: 2.00 score: 3.00\n   2 sequences at FP=FN\n   3 FN at FP=0\n   2 FP at FN=0\n"

CASE="a family wholly worse than the database: filled counts stay within the table sizes"
# Rows 1-5 (family 14..10) lie beyond row 0 (FP 101 at 1.00) and row 6 (FP 100 at 0.99): all
# 150 database values are at or below them. FN is 5 from row 5 on; FP 5 at 0.04, 4 at 0.03.
scores fam.dist 10 11 12 13 14
scores db.dist $(seq -f '%.2f' 0 0.01 1.49)
run trellan3 r12 -distfile fam.dist -distfile2 db.dist
expect_status 0
expect_text r12.dat "flips between x: 5.00, y: 5.00 score: 0.04 and x: 5.00, y: 4.00 score: 0.03\n   5 sequences at FP=FN\n   5 FN at FP=0\n 150 FP at FN=0\n"

# Family and database with lengths, two columns and E-values.
printf 'f1 10 -5 -6 1e-10\nf2 20 -4 -3 1e-8\nf3 30 -3 -2 1e-6\n' > famE.dist
printf 'd1 40 1 2 1e-1\nd2 50 2 3 1\nd3 60 3 4 10 : last\n' > dbE.dist

CASE="plotcolumn 3 (default): log10 of the E-value"
run trellan3 c3 -distfile famE.dist -distfile2 dbE.dist
expect_status 0
expect_text c3.dat "flips between x: 0.00, y: 1.00 score:-1.00 and x: 1.00, y: 0.00 score:-6.00\n   1 sequences at FP=FN\n   1 FN at FP=0\n   0 FP at FN=0\n"

CASE="plotcolumn 0: the length"
run trellan3 c0 -distfile famE.dist -distfile2 dbE.dist -plotcolumn 0
expect_status 0
expect_text c0.dat "flips between x: 0.00, y: 1.00 score:40.00 and x: 1.00, y: 0.00 score:30.00\n   1 sequences at FP=FN\n   1 FN at FP=0\n   0 FP at FN=0\n"

CASE="plotcolumn 2: report column 2"
run trellan3 c2 -distfile famE.dist -distfile2 dbE.dist -plotcolumn 2
expect_status 0
expect_text c2.dat "flips between x: 0.00, y: 1.00 score: 2.00 and x: 1.00, y: 0.00 score:-2.00\n   1 sequences at FP=FN\n   1 FN at FP=0\n   0 FP at FN=0\n"

CASE="plotcolumn 0 negated: every database entry passed"
run trellan3 c0n -distfile famE.dist -distfile2 dbE.dist -plotcolumn 0 -plotnegate 1
expect_status 0
expect_text c0n.dat "flips between x: 3.00, y: 3.00 score:-40.00 and x: 3.00, y: 2.00 score:-50.00\n   3 sequences at FP=FN\n   3 FN at FP=0\n   3 FP at FN=0\n"

CASE="a family of one entry"
scores one.dist 5
scores db.dist 1 2 3
run trellan3 r6 -distfile one.dist -distfile2 db.dist
expect_status 0
expect_text r6.dat "flips between x: 0.00, y: 1.00 score: 1.00 and x: 1.00, y: 0.00 score: 5.00\n   1 sequences at FP=FN\n   1 FN at FP=0\n   0 FP at FN=0\n"

CASE="CRLF and compressed files read as the plain ones"
scores fam.dist 8 1 6 3 2
scores db.dist 10 4 7 5 9
sed 's/$/\r/' fam.dist > famcr.dist
gzip -c db.dist > dbz.dist.gz
run trellan3 r7 -distfile famcr.dist -distfile2 dbz.dist.gz
expect_status 0
expect_same r7.dat r2.dat

# ---------------------------------------------------------------------------------------------
# Bad input
# ---------------------------------------------------------------------------------------------

CASE="-h: the usage text"
run trellan3 -h
expect_status 0
expect_text err.txt " -distfile <runname>.dist    Score file to read (required).\n[-distfile2 <runname>.dist]  Second (database) score file.\n\ntrellan3 outputs a file runname.dat with this info:\n1.  interpolated number of false negatives and false positives and\n    sequence log-odds score at the two points which bracket the\n    exact point where FN=FP\n2.  the integer value of the number of sequences where FN=FP\n3.  the number of FP where FN=0; the number of FN where FP=0\n"

CASE="no score files named"
run trellan3 bad1
expect_status 1
expect_grep err.txt "Error: trellan3 needs two score files: give both -distfile and -distfile2."
CHECKS=$((CHECKS + 1)); [ ! -e bad1.dat ] || fail "$CASE: bad1.dat written"

CASE="only the family named"
run trellan3 bad2 -distfile fam.dist
expect_status 1
expect_grep err.txt "Error: trellan3 needs two score files"

CASE="a comment-only database"
printf '%% nothing\n; here\n\n' > empty.dist
run trellan3 bad3 -distfile fam.dist -distfile2 empty.dist
expect_status 1
expect_text err.txt "$(head -1 err.txt)\nReading scores from file fam.dist\nReading scores from file empty.dist\nError: Two valid score files are required.\n\n"
CHECKS=$((CHECKS + 1)); [ ! -e bad3.dat ] || fail "$CASE: bad3.dat written"

CASE="an empty family file"
: > empty2.dist
run trellan3 bad4 -distfile empty2.dist -distfile2 db.dist
expect_status 1
expect_grep err.txt "Error: Two valid score files are required."

CASE="a missing file"
run trellan3 bad5 -distfile nowhere.dist -distfile2 db.dist
expect_status 1
expect_grep err.txt "Error: Couldn't open file nowhere.dist: "

CASE="NaN and infinite scores do not break the run"
printf 'a 1 nan 0\nb 1 -inf 0\nc 1 3 0\nd 1 inf 0\n' > nan.dist
printf 'x 1 nan 0\ny 1 2 0\nz 1 -inf 0\nw 1 5 0\n' > nan2.dist
run trellan3 r8 -distfile nan.dist -distfile2 nan2.dist
expect_status 0
CHECKS=$((CHECKS + 1)); [ -s r8.dat ] || fail "$CASE: no report"
run trellan3 r9 -distfile nan2.dist -distfile2 nan.dist
expect_status 0

CASE="scores past the single-precision range are skipped: no NaN reaches the counts"
printf 'f1 10 -5 0\nf2 10 -4 0\nf3 10 -3 0\n' > f.dist
printf 'd1 10 1e39 0\nd2 10 -1e39 0\n' > d.dist
run trellan3 big -distfile f.dist -distfile2 d.dist -plotcolumn 1
expect_status 1
expect_text err.txt "$(head -1 err.txt)\nReading scores from file f.dist\nReading scores from file d.dist\nWarning: score file d.dist line 1: a score or E-value is not a finite number; line skipped.\nWarning: score file d.dist line 2: a score or E-value is not a finite number; line skipped.\nError: Two valid score files are required.\n\n"
CHECKS=$((CHECKS + 1)); [ ! -e big.dat ] || fail "$CASE: big.dat written"

CASE="a binary file and a file with a very long line"
head -c 20000 /dev/urandom > noise.dist
{ printf 'long'; head -c 300000 /dev/zero | tr '\0' x; printf ' 1 4 0\nb 1 0.5 0\n'; } > long.dist
run trellan3 r10 -distfile long.dist -distfile2 noise.dist
CHECKS=$((CHECKS + 1)); [ "$STATUS" -eq 0 ] || [ "$STATUS" -eq 1 ] || fail "$CASE: status $STATUS"
run trellan3 r11 -distfile long.dist -distfile2 db.dist
expect_status 0
expect_text r11.dat "flips between x: 1.00, y: 1.00 score: 4.00 and x: 2.00, y: 0.00 score: 0.50\n   1 sequences at FP=FN\n   2 FN at FP=0\n   1 FP at FN=0\n"

# ---------------------------------------------------------------------------------------------
# Random files against an independent computation
# ---------------------------------------------------------------------------------------------

# gen SEED COUNT MEAN SPREAD FILE: COUNT entries with scores in quarter steps (exact in single
# precision), MEAN +- SPREAD, with an occasional E-value-free annotation.
gen() {
    awk -v seed="$1" -v n="$2" -v mean="$3" -v spread="$4" 'BEGIN {
        srand(seed); print "% random scores"
        for (i = 0; i < n; i++) {
            v = mean + int((rand() * 2 - 1) * spread * 4) / 4
            printf "id%d %d %.2f %.2f", i, 50 + int(rand() * 300), v, v / 2
            if (rand() < 0.1) printf "\t: random entry %d", i
            printf "\n"
        }
    }' > "$5"
}

# The report computed from the rules, in double precision with single-precision storage
# emulated where the program stores floats.
expected_report() {
    awk '!/^[%;]/ && NF { print $3 }' "$1" | sort -g > v1.txt
    awk '!/^[%;]/ && NF { print $3 }' "$2" | sort -g > v2.txt
    awk '
    function f32(x,   s, e, m, r) {
        if (x == 0) return x
        s = 1; if (x < 0) { s = -1; x = -x }
        e = 0
        while (x >= 16777216) { x /= 2; e++ }
        while (x < 8388608) { x *= 2; e-- }
        m = int(x); r = x - m
        if (r > 0.5 || (r == 0.5 && m % 2 == 1)) m++
        while (e > 0) { m *= 2; e-- }
        while (e < 0) { m /= 2; e++ }
        return s * m
    }
    function fill(col,   k, l, m) {
        for (k = 1; k < R; k++) {
            if (col[k] != -1) continue
            l = k - 1; m = k + 1
            while (col[m] == -1) m++
            if (S[l] == S[m]) col[k] = f32((col[l] + col[m]) / 2)
            else col[k] = f32(col[l] - (col[l] - col[m]) * (S[l] - S[k]) / (S[l] - S[m]))
        }
    }
    FNR == NR { t1[n1++] = $1 + 0; next }
    { t2[n2++] = $1 + 0 }
    END {
        i = 1; c = 0
        if (n1 > 1 && t1[n1 - 1] >= t2[0]) {
            do { if (c < n2 && t1[n1 - i] > t2[c]) c++; else i++ } while (i < n1 && t1[n1 - i] >= t2[0])
        }
        lim = 2 * i - 2; if (lim < 100) lim = 100
        kept = c < lim ? c : lim
        R = kept + i
        FN[0] = 0
        if (kept == n2) { FP[0] = n2; S[0] = t1[n1 - 1] } else { FP[0] = kept + 1; S[0] = t2[kept] }
        FN[R] = i; FP[R] = 0; S[R] = t1[n1 - i]
        j = 0; cc = kept
        for (r = 1; r < R; r++) {
            if (cc < 1 || (j < n1 && t1[n1 - j - 1] >= t2[cc - 1])) { j++; FN[r] = j; FP[r] = -1; S[r] = t1[n1 - j] }
            else { FN[r] = -1; FP[r] = cc; S[r] = t2[cc - 1]; cc-- }
        }
        fill(FP); fill(FN)
        rev = FN[0] > FP[0]
        for (k = 1; k <= R; k++) {
            if (rev ? FN[k] < FP[k] : FN[k] > FP[k]) {
                printf "flips between x:%5.2f, y:%5.2f score:%5.2f and x:%5.2f, y:%5.2f score:%5.2f\n", FN[k-1], FP[k-1], S[k-1], FN[k], FP[k], S[k]
                d1 = int(f32(FN[k-1] - FP[k-1])); if (d1 < 0) d1 = -d1
                d2 = int(f32(FN[k] - FP[k])); if (d2 < 0) d2 = -d2
                printf "%4d sequences at FP=FN\n", d1 < d2 ? int(FN[k-1]) : int(FN[k])
                break
            }
        }
        printf "%4d FN at FP=0\n", int(FN[R])
        printf "%4d FP at FN=0\n", int(FP[1])
    }' v1.txt v2.txt
}

# seed, family size, family mean, spread, database size, database mean, spread
for params in "1 40 -20 15 3000 0 12" "2 300 -6 10 2000 0 10" "3 500 -2 30 90 0 5" \
              "4 1000 -1 4 5000 0 4" "5 20 0 40 20 0 40" "6 2 5 1 1 0 1" "7 4000 -3 8 600 -1 2"; do
    set -- $params
    CASE="random files (seed $1)"
    gen "$1" "$2" "$3" "$4" rf.dist
    gen "$((100 + $1))" "$5" "$6" "$7" rd.dist
    run trellan3 rand -distfile rf.dist -distfile2 rd.dist
    expect_status 0
    expected_report rf.dist rd.dist > expected.dat
    expect_same rand.dat expected.dat
done

CASE="a file name holding an ESC byte is shown escaped in the messages"
scores f.dist 1 2
run trellan3 esc -distfile "$(printf 'no\033[2J')" -distfile2 f.dist
expect_status 1
CHECKS=$((CHECKS + 1))
if LC_ALL=C grep -q "$(printf '\033')" err.txt; then fail "$CASE: a raw ESC byte reached stderr"; fi
expect_grep err.txt 'Reading scores from file no\x1b[2J'
expect_grep err.txt "Error: Couldn't open file no\\x1b[2J: "

finish
