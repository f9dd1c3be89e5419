; The HD64180's instructions with -x (TASM's extended instruction set).
; options: -x
; bytes @0000: ED 38 12 ED 00 00 ED 29 34 ED 11 FF ED 4C ED 5C ED 6C ED 7C
; bytes: ED 3C ED 34 ED 24 ED 64 55 ED 74 66 ED 76 ED 83 ED 93 ED 8B ED 9B
; bytes: 3E 01
 .org 0
 in0 a,(12h)
 in0 b,(0)
 out0 (34h),l
 out0 (0FFh),d
 mlt bc
 mlt de
 mlt hl
 mlt sp
 tst a
 tst (hl)
 tst h
 tst 55h
 tstio 66h
 slp
 otim
 otimr
 otdm
 otdmr
 ld a,1
