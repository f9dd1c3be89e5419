; Names defined through each other never settle; the passes stop with an
; error instead of running on, or instead of taking a value that is not
; known (c and d stay unknown, and nothing else is wrong).
; error: 0: did not settle
a .equ b+1
b .equ a+1
 .dw a
c .equ d
d .equ c
 .dw c
