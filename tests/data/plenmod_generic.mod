MODEL -- generic only
alphabet DNA
GENERIC
0 0 0 0 0 0 0 0 0 1 1 1 1 1 1 1 1
ENDMODEL
