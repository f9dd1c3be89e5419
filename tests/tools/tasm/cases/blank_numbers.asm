; Blanks inside a constant: digit groups separated by blanks whose last
; group ends in a radix letter are one constant, as TASM reads sprite data.
; Ordinary expressions keep their meaning.
; bytes @0000: 00 F0 0F 55 AA 34 12 0F 3E 81 F0 05 03 07
 .org 0
 .db 0000 0000b, 1111 0000b
 .db 0000  1111B
 .dw 1010 1010 0101 0101b
 .dw 12 34h
 .db 1 7o
 ld a,1000 0001b
 .db 0F 0h
 .db 1 + 100b                ; 1+4, not one number
 .db 1 + 2
 .db (1 + 2) * 2 + 1
