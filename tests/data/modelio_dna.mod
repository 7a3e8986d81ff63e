% A small DNA model written by hand for the model-file tests.
% Line 3 opens the block.
MODEL: hand-made DNA model
alphabet DNA

NODELABELS 1-2: 10
GENERIC
 0.1 0.2 0.7
 0.3 0.4 0.3
 0.5 0.25 0.25
 0.25 0.25 0.25 0.25
 0.3 0.2 0.2 0.3
Begin
 0 0 0   0.0 0.9 0.1   0 0.2 0.8
 0.25 0.25 0.25 0.25   0.25 0.25 0.25 0.25
TYPE 2 k
; node 1 spreads its values over three lines
   1
 0.01 0.02 0.03 0.04 0.05 0.06 0.07 0.08 0.09
 0.1 0.2 0.3 0.4
 0.4 0.3 0.2 0.1
2 A 0.11 0.12 0.13 0.14 0.15 0.16 0.17 0.18 0.19 0.6 0.2 0.1 0.1 0.7 0.1 0.1 0.1
End
 0.3 0.6 0.1 0.0 0.9 0.1 0 0 0
 0 0 0 0 0 0 0 0
ENDMODEL
text after the block is not read
