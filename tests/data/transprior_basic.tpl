% Transition priors written by hand for the tests: 3 accessibility bins by 4 structure classes.
NumEnvs= 12
AlphaChar= 3
Order= D M I
EnvCoding
NumAccBin 3
NumEnvClasses 4
EndEnvCoding

Env= EEE, 2
State= D
L= 2
Number= 1
Mixture= 0.4
Alpha= 2.0 0.5 1.0 0.5
Comment= second component
Number= 0
Mixture= 0.6
Alpha= 3.0 1.0 1.5 0.5
Comment=
State= M
L= 1
Number= 0
Mixture= 1.0
Alpha= 10.0 0.25 9.5 0.25
Comment= match
State= I
L= 1
Number= 0
Mixture= 1.0
Alpha= 4.0 0.5 1.5 2.0
Comment= insert
-----
Env= justDMI
State= M
L= 1
Number= 0
Mixture= 1.0
Alpha= 6.0 1.0 4.0 1.0
Comment= plain
-----
