; With -i, labels and symbols are the same name in any case; without it
; they differ (see casesensitive.asm).
; options: -i
; bytes @8000: C3 06 80 00 00 00 21 06 80 01 06 80
 .org $8000
 jp Loop
 .dw 0
 .db 0
loop: ld hl,LOOP
 ld bc,lOoP
