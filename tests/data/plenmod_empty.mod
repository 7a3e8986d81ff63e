MODEL -- nothing but comments
alphabet DNA
% no nodes here
ENDMODEL
