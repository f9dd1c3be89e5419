; Expressions are evaluated strictly left to right, without precedence;
; parentheses group. Every number form, characters, unary operators,
; comparisons (1 or 0), $ and * for the statement's address, 32-bit wrap.
; bytes @0000: 0D 0B 14 FF FF FF 05 05 0F 0F 0F 7B 7B 41 42 05 0E 02 10 10
; bytes: 30 FF F0 FF 80 01 00 01 01 00 01
; bytes: 1F 00 21 00 2F 00 05 00 FF FF 12 00 7F 01 00 06 00
 .org 0
 .db 1+2*3+4                 ; (1+2)*3+4
 .db 1+(2*3)+4
 .db 2+3*4
 .db $FF, 0FFh, 0ffH
 .db %101, 101b
 .db @17, 17o, 17q
 .db 123, 123d
 .db 'A', 'A'+1
 .db 10-2-3
 .db 100/7, 100%7
 .db 1<<4, 80h>>3
 .db $F0&$3C, $F0|$0F, $FF^$0F
 .db -1, -128
 .db 3==3, 3==4, 2<3, 3>2, 2!=2, 3=3
 .dw $
 .dw *
 .dw later                   ; a label further down
 .dw 65536*65536+5
 .dw -1
 .dw $1234>>8
 .db ~0&$7F, !0, !5
 .db 0-2*-3
later: .db 0
