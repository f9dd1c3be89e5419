; Names defined through each other never settle; the passes stop with an
; error instead of running on.
; error: 0: did not settle
a .equ b+1
b .equ a+1
 .dw a
