; Where TASM's rules still refuse: digit groups without a radix letter, a
; register name read as a label that does not exist, a register where the
; table has no wildcard.
; error: 9: unexpected '2' in expression
; error: 10: operands do not match any form of LD
; error: 11: operands do not match any form of JP
; error: 12: operands do not match any form of LD
; error: 13: operands do not match any form of PUSH
 .db 1 2
 ld hl,a
 jp po
 ld po,a
 push a
