; A character constant holds one character, a backslash too: '\' is 5Ch and
; never a statement separator. The escaped forms still read where a plain
; reading fails; strings take \b and \f as well.
; bytes @0000: 5C FE 5C 00 3E 5C 5C 27 0A 41 08 0C 5C
 .org 0
 .db '\'
 cp '\' \ nop
 ld a,'\'                    ; a backslash
 .db '\\', '\'', '\n', 'A'
 .db "\b\f\\"
