; The HD64180's instructions take only the operands it has.
; options: -x
; error: 8: operands do not match any form of MLT
; error: 9: operands do not match any form of MLT
; error: 10: operands do not match any form of IN0
; error: 11: operands do not match any form of TST
; error: 12: operands do not match any form of OUT0
 mlt af
 mlt ix
 in0 a,5
 tst (ix+1)
 out0 (5),ixh
