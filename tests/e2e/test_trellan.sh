#!/bin/bash
# End-to-end tests of trellan: the data files and the gnuplot command file for small score files
# worked out by hand, the plot ranges, the compact sizes, bad input, random files checked against
# an independent computation in awk, and the gnuplot run for every plotps (skipped, after all other
# checks, when gnuplot is absent).
source "$QOR_E2E_LIB"

[ -x "$BIN/trellan" ] || skip "trellan was not built"

scores() {
    local file=$1 n=0; shift
    echo "% test scores" > "$file"
    for v in "$@"; do n=$((n + 1)); echo "s$n 10 $v 0" >> "$file"; done
}

# body FILE: the command file without its header block (banner, notice lines and ruler).
body() { sed -n '/^# Uncomment the next two lines/,$p' "$1"; }

# expect_plt RUN PLOTPS RANGE_LINES PLOT_LINES: the whole command file after the header.
expect_plt() {
    local run=$1 ps=$2 ranges=$3 plot=$4 pre="#" size=""
    [ "$ps" -ne 0 ] && pre=""
    [ "$ps" -eq 2 ] && size="set size 0.7, 1.0\n"
    body "$run.plt" > body.txt
    expect_text body.txt "# Uncomment the next two lines to generate a postscript file.\n${pre}set terminal postscript eps\n${pre}set output \"$run.ps\"\n${size}set title \"False positives and negatives for  $run\"\nset xlabel \"Log-odds Score (simple null model)\"\nset ylabel \"Number of False Classifications\"\nset nozeroaxis\n$ranges$plot"
}

CASE="family better than the database: family curve in file 1"
scores fam.dist 8 1 6 3 2
scores db.dist 10 4 7 5 9
run trellan ta -distfile fam.dist -distfile2 db.dist -plotps 0
expect_status 0
expect_text ta1.data "1.000000 5\n2.000000 4\n3.000000 3\n6.000000 2\n8.000000 1\n8.000000 0\n"
expect_text ta2.data "4.000000 0\n4.000000 1\n5.000000 2\n7.000000 3\n9.000000 4\n10.000000 5\n"
expect_plt ta 0 "set yrange [0.000000:3.000000]\nset xrange [3.600000:8.400000]\n" \
    "plot \"ta1.data\" title \"False Neg (of 5)\" with lines lt 1,\\\\\n     \"ta2.data\" title \"False Pos (of 5)\" with lines lt 2\n"
CHECKS=$((CHECKS + 1)); head -1 ta.plt | grep -q "^#  QOR: $BIN/trellan v" || fail "$CASE: banner line"
expect_grep ta.plt "# ---------------------------------------------------------------------"
CHECKS=$((CHECKS + 1)); [ ! -e ta.ps ] || fail "$CASE: gnuplot ran"
expect_text out.txt ""

CASE="database not worse at its best: family curve in file 2"
run trellan tb -distfile db.dist -distfile2 fam.dist -plotps 0
expect_status 0
expect_same tb1.data ta1.data
expect_same tb2.data ta2.data
expect_plt tb 0 "set yrange [0.000000:3.000000]\nset xrange [3.800000:6.200000]\n" \
    "plot \"tb2.data\" title \"False Neg (of 5)\" with lines lt 1,\\\\\n     \"tb1.data\" title \"False Pos (of 5)\" with lines lt 2\n"

CASE="plotmax given: both data files limited, the y range kept"
run trellan tc -distfile fam.dist -distfile2 db.dist -plotps 0 -plotmax -8 -plotline 5
expect_status 0
expect_text tc1.data "6.000000 2\n8.000000 1\n8.000000 0\n"
expect_text tc2.data "4.000000 0\n4.000000 1\n5.000000 2\n"
expect_plt tc 0 "set yrange [0.000000:-8.000000]\nset xrange [3.600000:8.400000]\nset arrow from 5.000000,0.000000 to 5.000000,-8.000000 nohead\n" \
    "plot \"tc1.data\" title \"False Neg (of 5)\" with lines lt 1,\\\\\n     \"tc2.data\" title \"False Pos (of 5)\" with lines lt 2\n"

CASE="plotmax + 10 below 1: 1.data holds only its closing line, at B's worst value"
run trellan td -distfile fam.dist -distfile2 db.dist -plotps 0 -plotmax -9.5 -plotmin 1 -plotleft 1 -plotright 2
expect_status 0
expect_text td1.data "8.000000 0\n"
expect_text td2.data "4.000000 0\n4.000000 1\n"
expect_plt td 0 "set yrange [1.000000:-9.500000]\nset xrange [1.000000:2.000000]\n" \
    "plot \"td1.data\" title \"False Neg (of 5)\" with lines lt 1,\\\\\n     \"td2.data\" title \"False Pos (of 5)\" with lines lt 2\n"

CASE="a huge plotmax is held to the table sizes"
run trellan te -distfile fam.dist -distfile2 db.dist -plotps 0 -plotmax 1e30
expect_status 0
expect_same te1.data ta1.data
expect_same te2.data ta2.data

CASE="a database of one entry; the y walk passes the end of A"
scores fam1.dist 1 2 3 10 11 12 13 14
scores db1.dist 4
run trellan tf -distfile fam1.dist -distfile2 db1.dist -plotps 0
expect_status 0
expect_text tf1.data "1.000000 8\n2.000000 7\n3.000000 6\n10.000000 5\n11.000000 4\n12.000000 3\n13.000000 2\n14.000000 1\n14.000000 0\n"
expect_text tf2.data "4.000000 0\n4.000000 1\n"
expect_plt tf 0 "set yrange [0.000000:1.500000]\n" \
    "plot \"tf1.data\" title \"False Neg (of 8)\" with lines lt 1,\\\\\n     \"tf2.data\" title \"False Pos (of 1)\" with lines lt 2\n"

CASE="negated scores with plotnegate 1"
scores famn.dist -8 -1 -6 -3 -2
scores dbn.dist -10 -4 -7 -5 -9
run trellan tg -distfile famn.dist -distfile2 dbn.dist -plotps 0 -plotnegate 1
expect_status 0
expect_same tg1.data ta1.data
expect_same tg2.data ta2.data

CASE="E-values plotted as log10 by default"
printf 'f1 10 -5 -6 1e-10\nf2 20 -4 -3 1e-8\nf3 30 -3 -2 1e-6\n' > famE.dist
printf 'd1 40 1 2 1e-1\nd2 50 2 3 1\nd3 60 3 4 10\n' > dbE.dist
run trellan th -distfile famE.dist -distfile2 dbE.dist -plotps 0
expect_status 0
expect_grep th.plt "set title \"False positives and negatives for  th\""
expect_grep th.plt "set xlabel \"E-value (log 10)\""
printf -- '-10.000000 3\n-8.000000 2\n-6.000000 1\n-6.000000 0\n' > exp1.data
printf -- '-1.000000 0\n-1.000000 1\n0.000000 2\n1.000000 3\n' > exp2.data
expect_same th1.data exp1.data
expect_same th2.data exp2.data

CASE="the x axis label is the database's: each file chooses its own column"
run trellan tl1 -distfile famE.dist -distfile2 db.dist -plotps 0
expect_status 0
expect_grep tl1.plt "set xlabel \"Log-odds Score (simple null model)\""
run trellan tl2 -distfile db.dist -distfile2 famE.dist -plotps 0
expect_status 0
expect_grep tl2.plt "set xlabel \"E-value (log 10)\""
# The database (log10 E-values -10 -8 -6) is B, the family (4 5 7 9 10, column 1) A: the
# y walk passes no entry of A, so plotmax is 0 and no y range is written.
printf -- '-10.000000 3\n-8.000000 2\n-6.000000 1\n-6.000000 0\n' > exp1.data
expect_same tl21.data exp1.data
expect_text tl22.data "4.000000 0\n4.000000 1\n5.000000 2\n7.000000 3\n9.000000 4\n10.000000 5\n"
expect_grep tl2.plt "plot \"tl22.data\" title \"False Neg (of 5)\" with lines lt 1,\\"
CHECKS=$((CHECKS + 1)); ! grep -q "set yrange" tl2.plt || fail "$CASE: y range written"

CASE="sizes written compactly: 2k and 1M"
awk 'BEGIN { for (i = 0; i < 2500; i++) printf "f%d 10 %d 0\n", i, -i }' > big1.dist
awk 'BEGIN { for (i = 0; i < 1200000; i++) printf "d%d 10 %d 0\n", i, i % 5000 }' > big2.dist
run trellan tk -distfile big1.dist -distfile2 big2.dist -plotps 0
expect_status 0
expect_grep tk.plt "plot \"tk1.data\" title \"False Neg (of 2k)\" with lines lt 1,\\"
expect_grep tk.plt "     \"tk2.data\" title \"False Pos (of 1M)\" with lines lt 2"
rm -f big1.dist big2.dist

# ---------------------------------------------------------------------------------------------
# Bad input
# ---------------------------------------------------------------------------------------------

CASE="no argument: the usage text, status 1"
run trellan
expect_status 1
expect_grep err.txt "Usage: $BIN/trellan run_name [-option value]*"
expect_grep err.txt " -distfile <runname>.dist    Score file to read (required)."
expect_grep err.txt "[-distfile2 <runname>.dist]  Second (database) score file."
expect_grep err.txt "[-plotps <0/1/2>]            Create \"<runname>.ps\" (1)"
expect_grep err.txt "                            If plotps=2, a square plot is generated."

CASE="no score files named"
run trellan bad1 -plotps 0
expect_status 1
expect_grep err.txt "Error: trellan needs two score files: give both -distfile and -distfile2."

CASE="a comment-only family"
printf '%% nothing\n' > empty.dist
run trellan bad2 -distfile empty.dist -distfile2 db.dist -plotps 0
expect_status 1
expect_grep err.txt "Error: Two valid score files are required."
CHECKS=$((CHECKS + 1)); [ ! -e bad21.data ] && [ ! -e bad2.plt ] || fail "$CASE: files written"

CASE="a run name that cannot stand in the command file"
for name in 'q"uote' 'back`tick`' 'back\slash'; do
    run trellan "$name" -distfile fam.dist -distfile2 db.dist -plotps 0
    expect_status 1
    expect_grep err.txt "cannot be used in a gnuplot command file"
    CHECKS=$((CHECKS + 1)); [ ! -e "${name}1.data" ] && [ ! -e "$name.plt" ] || fail "$CASE: files written for $name"
done

CASE="a run name whose start gnuplot reads as a command, a datablock or the home directory"
# gnuplot 5.4 (tried by hand): a data file, "load" or command-line file beginning with '<' runs a
# command; "set output" beginning with '|' runs a command; '$' names a datablock; "~/" is $HOME.
mkdir -p special && cd special || exit 1
for name in '<id>marker;true' '|touch PWNED' '$data' '~/x'; do
    run trellan "$name" -distfile ../fam.dist -distfile2 ../db.dist
    expect_status 1
    expect_grep err.txt "cannot be used in a gnuplot command file: gnuplot takes a file name beginning with \"${name:0:1}"
    CHECKS=$((CHECKS + 1)); [ "$(ls -A | tr '\n' ' ')" = "err.txt out.txt " ] || fail "$CASE: $name left $(ls -A)"
    CHECKS=$((CHECKS + 1)); [ -z "$(ls -A "$HOME")" ] || fail "$CASE: $name wrote into the home directory"
done
cd .. || exit 1

CASE="NaN scores"
printf 'a 1 nan 0\nb 1 -inf 0\nc 1 3 0\n' > nan.dist
run trellan tn -distfile nan.dist -distfile2 nan.dist -plotps 0
expect_status 0

# finite_plt RUN: no number in the command file is a NaN or an infinity.
finite_plt() {
    CHECKS=$((CHECKS + 1))
    ! grep -v '^#' "$1.plt" | grep -Eiq '(nan|inf)' || fail "$CASE: $(grep -Ei 'nan|inf' "$1.plt")"
}

CASE="non-finite scores are skipped with a warning and left out of the counts"
# Finite family values 1 and 6, finite database values 4, 5 and 9 (-1e300 and 1e39 are beyond the
# single-precision range): x range from max(4, 1) = 4 to min(6, 5) = 5, widened by 0.1.
printf 'f1 10 1 0\nf2 10 nan 0\nf3 10 6 0\nf4 10 -inf 0\nf5 10 1e39 0\n' > nf1.dist
printf 'd1 10 4 0\nd2 10 5 0\nd3 10 inf 0\nd4 10 9 0\nd5 10 -1e300 0\n' > nf2.dist
run trellan nf -distfile nf1.dist -distfile2 nf2.dist -plotps 0
expect_status 0
finite_plt nf
expect_grep nf.plt "set xrange [3.900000:5.100000]"
expect_grep nf.plt 'title "False Neg (of 2)"'
expect_grep nf.plt 'title "False Pos (of 3)"'
expect_grep err.txt "Warning: score file nf1.dist line 5: a score or E-value is not a finite number; line skipped."
expect_grep err.txt "Warning: score file nf2.dist line 5: a score or E-value is not a finite number; line skipped."

CASE="a database without a finite score is a database without entries"
printf 'd1 10 nan 0\nd2 10 inf 0\n' > nf3.dist
run trellan nf3 -distfile nf1.dist -distfile2 nf3.dist -plotps 0
expect_status 1
expect_grep err.txt "Error: Two valid score files are required."

CASE="no finite score at all: no entries in either file"
run trellan nf4 -distfile nf3.dist -distfile2 nf3.dist -plotps 0
expect_status 1
expect_grep err.txt "Error: Two valid score files are required."
CHECKS=$((CHECKS + 1)); [ ! -e nf4.plt ] || fail "$CASE: nf4.plt written"

CASE="a range widened past the single-precision range is held at its limit"
# FLT_MAX = (2 - 2^-23) * 2^127 = 340282346638528859811704183484516925440 exactly.
printf 'a 1 -3.4e38 0\nb 1 3.4e38 0\n' > big1.dist
printf 'a 1 -3.4e38 0\nb 1 3.4e38 0\nc 1 3.4e38 0\n' > big2.dist
run trellan big -distfile big1.dist -distfile2 big2.dist -plotps 0
expect_status 0
finite_plt big
expect_grep big.plt "set xrange [-340282346638528859811704183484516925440.000000:340282346638528859811704183484516925440.000000]"

CASE="non-finite plot parameters are refused before any file is written"
for p in "plotmax nan" "plotline nan" "plotmax 1e308" "plotmin -inf" "plotleft 1e39" "plotright -nan"; do
    set -- $p
    run trellan np -distfile fam.dist -distfile2 db.dist -plotps 0 -$1 $2
    expect_status 1
    expect_grep err.txt "Error: $1 must be a finite number within the single-precision range, not"
    CHECKS=$((CHECKS + 1)); [ ! -e np1.data ] && [ ! -e np.plt ] || fail "$CASE: files written for $p"
done

# gnuplot missing from the path, failing (a stub that ends with status 1), or ending with 0 after
# a file-size limit cut its PostScript file short (writes past 4 kB fail; SIGXFSZ is ignored): an
# old plot stays as it was, and no temporary is left.
mkdir -p stub && printf '#!/bin/sh\nexit 1\n' > stub/gnuplot && chmod +x stub/gnuplot
for how in missing failing cut; do
    CASE="gnuplot $how: message, files kept, status 1"
    [ "$how" = cut ] && ! command -v gnuplot >/dev/null 2>&1 && continue
    yes OLDPS | head -c 30000 > "t$how.ps" && cp "t$how.ps" oldplot.txt
    (case $how in
        missing) export PATH=/nonexistent ;;
        failing) export PATH="$PWD/stub:$PATH" ;;
        cut) trap '' XFSZ; ulimit -f 4 ;;
     esac
     exec "$BIN/trellan" "t$how" -distfile fam.dist -distfile2 db.dist >out.txt 2>err.txt)
    STATUS=$?
    expect_status 1
    expect_grep err.txt "Error in gnuplot:  "
    expect_grep err.txt "Error: gnuplot did not make t$how.ps; t$how.plt and the data files are kept."
    CHECKS=$((CHECKS + 1)); [ -e "t${how}1.data" ] && [ -e "t${how}2.data" ] && [ -e "t$how.plt" ] || fail "$CASE: files removed"
    CHECKS=$((CHECKS + 1)); cmp -s "t$how.ps" oldplot.txt && [ -z "$(ls -A | grep '^\.t')" ] || fail "$CASE: old plot lost or temporary left"
done

CASE="no copy of the command file can be made (TMPDIR missing): refused before gnuplot starts"
mkdir -p stub2 && printf '#!/bin/sh\ntouch gnuplot.ran\nexit 1\n' > stub2/gnuplot && chmod +x stub2/gnuplot
yes OLDPS | head -c 30000 > tnotmp.ps
(export PATH="$PWD/stub2:$PATH" TMPDIR=/nonexistent; exec "$BIN/trellan" tnotmp -distfile fam.dist -distfile2 db.dist >out.txt 2>err.txt)
STATUS=$?
expect_status 1
expect_grep err.txt "Error: Could not copy tnotmp.plt to a temporary file: No such file or directory"
CHECKS=$((CHECKS + 1)); [ ! -e gnuplot.ran ] && cmp -s tnotmp.ps oldplot.txt || fail "$CASE: gnuplot started or old plot lost"

# A signal while gnuplot runs (a stub that waits): the run ends by that signal, gnuplot is stopped,
# the old plot stays and no temporary is left. A job started by a script ignores SIGINT unless
# its default action is given back. The stub is a wrapper that runs the waiting program as a
# child of its own (no exec): the whole process group is stopped; and it holds no descriptor of
# the plot's temporary.
printf '#!/bin/sh\nls -l /proc/$$/fd > gnuplot.fds\nsleep 60 &\necho $! > gnuplot.pid\nwait\n' > stub/gnuplot
# Last, the run started with SIGTERM ignored: gnuplot, stopped by SIGTERM, must not inherit that.
for sig in INT:130: TERM:143: HUP:129: INT:130:--ignore-signal=TERM; do
    IFS=: read -r name code env_option <<< "$sig"
    CASE="SIG$name while gnuplot runs $env_option"
    echo old > ts.ps && rm -f gnuplot.pid
    PATH="$PWD/stub:$PATH" env --default-signal=INT $env_option "$BIN/trellan" ts -distfile fam.dist -distfile2 db.dist 2>err.txt &
    for i in $(seq 500); do [ -s gnuplot.pid ] && break; sleep 0.02; done
    kill -"$name" $!
    wait $!
    STATUS=$?
    expect_status "$code"
    for i in $(seq 100); do [ "$(cut -d' ' -f3 "/proc/$(cat gnuplot.pid)/stat" 2>/dev/null)" = S ] || break; sleep 0.02; done
    CHECKS=$((CHECKS + 1)); [ "$(cut -d' ' -f3 "/proc/$(cat gnuplot.pid)/stat" 2>/dev/null)" != S ] || fail "$CASE: gnuplot still runs"
    CHECKS=$((CHECKS + 1)); [ "$(cat ts.ps)" = old ] && [ -z "$(ls -A | grep '^\.ts')" ] || fail "$CASE: old plot lost or temporary left"
    CHECKS=$((CHECKS + 1)); ! grep -q '/\.ts\.ps\.' gnuplot.fds || fail "$CASE: gnuplot inherited the temporary"
done

# ---------------------------------------------------------------------------------------------
# Random files against an independent computation
# ---------------------------------------------------------------------------------------------

gen() {
    awk -v seed="$1" -v n="$2" -v mean="$3" -v spread="$4" 'BEGIN {
        srand(seed); print "% random scores"
        for (i = 0; i < n; i++) {
            v = mean + int((rand() * 2 - 1) * spread * 4) / 4
            printf "id%d %d %.2f %.2f\n", i, 50 + int(rand() * 300), v, v / 2
        }
    }' > "$5"
}

# expected_files FAMILY DATABASE RUN: writes exp1.data, exp2.data and exp.plt (the command file
# after its header) from the rules.
expected_files() {
    awk '!/^[%;]/ && NF { print $3 }' "$1" | sort -g > v1.txt
    awk '!/^[%;]/ && NF { print $3 }' "$2" | sort -g > v2.txt
    awk -v run="$3" '
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
    function compact(n) {
        if (n > 1000000) return int(n / 1000000) "M"
        if (n > 1000) return int(n / 1000) "k"
        return n
    }
    FNR == NR { t1[n1++] = $1 + 0; next }
    { t2[n2++] = $1 + 0 }
    END {
        lo = t2[0] > t1[0] ? t2[0] : t1[0]
        dbend = n2 >= 2 ? t2[n2 - 2] : t2[0]
        hi = t1[n1 - 1] < dbend ? t1[n1 - 1] : dbend
        f = 0.1 * (hi - lo)
        left = lo - f; right = hi + f
        if (t2[0] > t1[0]) {
            for (k = 0; k < n1; k++) B[k] = t1[k]; nb = n1
            for (k = 0; k < n2; k++) A[k] = t2[k]; na = n2
            famfile = 1
        } else {
            for (k = 0; k < n2; k++) B[k] = t2[k]; nb = n2
            for (k = 0; k < n1; k++) A[k] = t1[k]; na = n1
            famfile = 2
        }
        i = 0; j = 0
        do { if (i < na && A[i] < B[j]) i++; else j++ } while (!(i >= nb - j))
        ymax = 1.5 * i
        lim = ymax + 10
        if (!(lim >= 1)) k = 0; else if (lim >= nb) k = nb; else k = int(lim)
        for (m = k; m >= 1; m--) printf "%f %d\n", B[nb - m], m > "exp1.data"
        printf "%f %d\n", B[nb - 1], 0 > "exp1.data"
        printf "%f %d\n", A[0], 0 > "exp2.data"
        for (j = 0; j < na && j < lim; j++) printf "%f %d\n", A[j], j + 1 > "exp2.data"
        out = "exp.plt"
        print "# Uncomment the next two lines to generate a postscript file." > out
        print "#set terminal postscript eps" > out
        printf "#set output \"%s.ps\"\n", run > out
        printf "set title \"False positives and negatives for  %s\"\n", run > out
        print "set xlabel \"Log-odds Score (simple null model)\"" > out
        print "set ylabel \"Number of False Classifications\"" > out
        print "set nozeroaxis" > out
        if (ymax != 0) printf "set yrange [%f:%f]\n", 0, f32(ymax) > out
        if (f32(left) != f32(right)) printf "set xrange [%f:%f]\n", f32(left), f32(right) > out
        printf "plot \"%s%d.data\" title \"False Neg (of %s)\" with lines lt 1,\\\n", run, famfile, compact(n1) > out
        printf "     \"%s%d.data\" title \"False Pos (of %s)\" with lines lt 2\n", run, 3 - famfile, compact(n2) > out
    }' v1.txt v2.txt
}

for params in "1 40 -20 15 3000 0 12" "2 300 -6 10 2000 0 10" "3 500 -2 30 90 0 5" \
              "4 1000 1 4 5000 0 4" "5 20 0 40 20 0 40" "6 3 5 1 2 0 1" "7 4000 -3 8 600 -1 2"; do
    set -- $params
    CASE="random files (seed $1)"
    gen "$1" "$2" "$3" "$4" rf.dist
    gen "$((100 + $1))" "$5" "$6" "$7" rd.dist
    rm -f exp1.data exp2.data exp.plt
    run trellan rand -distfile rf.dist -distfile2 rd.dist -plotps 0
    expect_status 0
    expected_files rf.dist rd.dist rand
    expect_same rand1.data exp1.data
    expect_same rand2.data exp2.data
    body rand.plt > body.txt
    expect_same body.txt exp.plt
done

# ---------------------------------------------------------------------------------------------
# The gnuplot run (needs gnuplot)
# ---------------------------------------------------------------------------------------------

if ! command -v gnuplot >/dev/null 2>&1; then
    echo "gnuplot is absent: the PostScript checks are skipped"
    [ "$FAILS" -eq 0 ] || finish
    skip "gnuplot is not installed"
fi

CASE="plotps 1: PostScript made in place of an old plot, temporary files removed"
echo old > p1.ps
run trellan p1 -distfile fam.dist -distfile2 db.dist
expect_status 0
CHECKS=$((CHECKS + 1)); head -c 10 p1.ps 2>/dev/null | grep -q '^%!PS-Adobe' || fail "$CASE: no PostScript"
expect_grep p1.ps "%%Title: p1.ps"
CHECKS=$((CHECKS + 1)); [ -z "$(ls -A | grep '^\.p1')" ] || fail "$CASE: temporary left"
CHECKS=$((CHECKS + 1)); [ ! -e p11.data ] && [ ! -e p12.data ] && [ ! -e p1.plt ] || fail "$CASE: files left"

CASE="gnuplot's messages name the command file; a title with parentheses names the plot"
run trellan te -distfile fam.dist -distfile2 db.dist -plotleft 1 -plotright 1.0000001 -plotmin 1 -plotmax 1.0000001
expect_status 1
expect_grep err.txt '"te.plt" line 25: '
run trellan 'a(b)c' -distfile fam.dist -distfile2 db.dist
expect_grep 'a(b)c.ps' '%%Title: a(b)c.ps'
expect_grep 'a(b)c.ps' '/Title (a\(b\)c.ps)'

CASE="gnuplot's messages to a reader that has gone: the run ends by SIGPIPE and leaves no temporary"
"$BIN/trellan" tp -distfile fam.dist -distfile2 db.dist -plotleft 1 -plotright 1.0000001 -plotmin 1 \
    -plotmax 1.0000001 2>&1 | head -n 3 >/dev/null
STATUS=${PIPESTATUS[0]}
expect_status 141
CHECKS=$((CHECKS + 1)); [ -z "$(ls -A | grep '^\.tp')" ] || fail "$CASE: temporary left"

CASE="a plot reached through a link into a folder whose name holds a line end: gnuplot writes it"
mkdir -p $'nl\nd' && echo OLD > $'nl\nd/real.ps' && ln -sf $'nl\nd/real.ps' tl.ps
run trellan tl -distfile fam.dist -distfile2 db.dist
expect_status 0
expect_grep $'nl\nd/real.ps' "%%Title: tl.ps"
CHECKS=$((CHECKS + 1)); [ -L tl.ps ] && [ -z "$({ ls -A; ls -A $'nl\nd'; } | grep '^\.')" ] || fail "$CASE: files"

# A command file that cannot be read back (a pipe, a FIFO, /dev/null) gets the commands like any
# file, and gnuplot gets them from the run itself: the plot is made (a hang is cut by timeout).
while IFS='|' read -r name setup command; do
    CASE="a command file that is $name: the plot is made"
    rm -f tq.* piped.txt && eval "$setup"
    eval "$command"
    expect_status 0
    CHECKS=$((CHECKS + 1)); head -c 10 tq.ps 2>/dev/null | grep -q '^%!PS-Adobe' || fail "$CASE: no PostScript"
    [ "${name%/dev/null}" != "$name" ] || expect_grep piped.txt 'set output "tq.ps"'
done <<'EOF'
a link to standard output on a pipe|ln -s /dev/stdout tq.plt|timeout 60 "$BIN/trellan" tq -distfile fam.dist -distfile2 db.dist 2>err.txt | cat > piped.txt; STATUS=${PIPESTATUS[0]}
a FIFO|mkfifo tq.plt; (timeout 60 cat tq.plt > piped.txt &)|timeout 60 "$BIN/trellan" tq -distfile fam.dist -distfile2 db.dist 2>err.txt; STATUS=$?
a link to /dev/null|ln -s /dev/null tq.plt|timeout 60 "$BIN/trellan" tq -distfile fam.dist -distfile2 db.dist 2>err.txt; STATUS=$?
EOF

CASE="plotps 2: square plot, temporary files removed"
run trellan p2 -distfile fam.dist -distfile2 db.dist -plotps 2
expect_status 0
CHECKS=$((CHECKS + 1)); [ -s p2.ps ] && [ ! -e p2.plt ] || fail "$CASE: files"
expect_grep p2.ps "%%BoundingBox:"

CASE="plotps 3: PostScript made, every file kept"
run trellan p3 -distfile fam.dist -distfile2 db.dist -plotps 3
expect_status 0
CHECKS=$((CHECKS + 1)); [ -s p3.ps ] && [ -e p31.data ] && [ -e p32.data ] && [ -e p3.plt ] || fail "$CASE: files"
expect_same p31.data ta1.data
expect_plt p3 3 "set yrange [0.000000:3.000000]\nset xrange [3.600000:8.400000]\n" \
    "plot \"p31.data\" title \"False Neg (of 5)\" with lines lt 1,\\\\\n     \"p32.data\" title \"False Pos (of 5)\" with lines lt 2\n"

CASE="a run name with blanks and shell characters is passed safely"
run trellan 'my run;$(touch pwned)' -distfile fam.dist -distfile2 db.dist
expect_status 0
CHECKS=$((CHECKS + 1)); [ -s 'my run;$(touch pwned).ps' ] && [ ! -e pwned ] || fail "$CASE: files"

CASE="run names whose start gnuplot reads as a plain file name"
for name in '+' '++' '@x' '!x' '~' '~x' 'a<b|c$d'; do
    run trellan "$name" -distfile fam.dist -distfile2 db.dist
    expect_status 0
    CHECKS=$((CHECKS + 1)); head -c 10 "./$name.ps" 2>/dev/null | grep -q '^%!PS-Adobe' || fail "$CASE: no PostScript for $name"
    CHECKS=$((CHECKS + 1)); [ ! -e "./$name.plt" ] || fail "$CASE: gnuplot failed for $name"
done

CASE="non-finite scores: gnuplot runs"
run trellan pn -distfile nf1.dist -distfile2 nf2.dist
expect_status 0
CHECKS=$((CHECKS + 1)); [ -s pn.ps ] && [ ! -e pn.plt ] || fail "$CASE: files"

CASE="a run name beginning with '-'"
run trellan -dash -distfile fam.dist -distfile2 db.dist
expect_status 0
CHECKS=$((CHECKS + 1)); [ -s ./-dash.ps ] && [ ! -e ./-dash.plt ] || fail "$CASE: files"

finish
