; Labels spelled like registers and conditions. The instruction table's
; literal forms are tried first (ld a,b stays a register load although b is
; a label); only where no literal form fits, an operand is read as an
; expression wherever the table has a wildcard, as TASM does.
; bytes @0100: 21 00 01 21 03 01 C3 03 01 CD 00 01 DA 03 01 18 EF 3A 11 00
; bytes: C6 11 78 DD 21 22 01 C9 C2 03 01 3A 05 00 10 00
 .org $100
a: ld hl,a
po: ld hl,po
 jp po
 call a
 jp c,po
 jr a
 ld a,(c)
 add a,(c)
 ld a,b
 ld ix,b
 ret
 jp nz,po
 ld a,(2+3)                  ; memory, as LD A,(*) comes first
c = 11h
b: djnz $+2
