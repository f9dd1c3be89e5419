; Undefined and twice-defined labels; every error is reported, not just the
; first.
; error: 7: undefined label 'nowhere'
; error: 9: label 'twice' is defined twice
; error: 10: undefined label 'missing'
 .org 0
 ld hl,nowhere
twice: nop
twice: nop
 .dw missing
