; .ds reserves space like .block; *=expr and $=expr set the address like
; .org; a label on an .org line takes the new address.
; bytes @0010: 01 00 00 00 02 00 03 00 00 04 00 00 00 00 00 00 20 00 00 00
; bytes: 24 00 05
 .org 10h
 .db 1
 .ds 3
 .db 2
 .DS 1
 .db 3
 *=*+2
 .db 4
here .org $20
 .dw here
 $=$+1
there: *= $+1
 .dw there
 .db 5
