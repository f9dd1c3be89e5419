; Values that do not fit are errors, never silently truncated.
; error: 11: value 256 does not fit a byte
; error: 12: value -129 does not fit a byte
; error: 13: value 65536 does not fit a word
; error: 15: relative jump out of range
; error: 16: index offset 128 out of range
; error: 17: index offset -129 out of range
; error: 18: restart address must be a multiple of 8
; error: 20: the image runs past FFFFh
 .org 0
 .db 256
 .db -129
 .dw 65536
 .db 255, -128
 jr $+130
 ld a,(ix+128)
 ld (iy-129),a
 rst 9
 .org $FFFE
 .dw 1, 2
