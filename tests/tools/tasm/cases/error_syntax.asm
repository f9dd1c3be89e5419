; Unknown mnemonics, operands no form takes, unterminated strings, bad
; numbers and expressions.
; error: 11: unknown instruction 'FOO'
; error: 12: operands do not match any form of LD
; error: 13: operands do not match any form of JP
; error: 14: unterminated string
; error: 15: bad number '12x'
; error: 16: missing ')' in expression
; error: 17: division by zero
; error: 18: unknown directive '.BOGUS'
 foo a,b
 ld (bc),b
 jp (de)
 .db "abc
 .db 12x
 .db (1+2
 .db 1/0
 .bogus 1
