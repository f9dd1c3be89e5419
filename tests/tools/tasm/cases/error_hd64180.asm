; Without -x the HD64180's instructions are unknown; with it, operands it
; does not have are refused.
; error: 7: unknown instruction 'MLT'
; error: 8: unknown instruction 'SLP'
; error: 9: unknown instruction 'IN0'
; error: 10: unknown instruction 'TST'
 mlt bc
 slp
 in0 a,(5)
 tst a
