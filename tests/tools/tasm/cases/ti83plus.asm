; An ordinary TI-83 Plus program as people write it: an include file of
; equates in the usual forms, the program header, system calls, local
; labels and a string.
; options: -i
; bytes @9D93: BB 6D EF 40 45 21 00 00 22 4B 84 21 B3 9D EF 0A 45 EF 2E 45
; bytes: 06 03 C5 3E 41 EF 04 45 C1 10 F7 C9 48 69 00
#include "include/ti83plus.inc"
 .org userMem-2
 .db t2ByteTok, tAsmCmp
 bcall(_ClrLCDFull)
 ld hl,0
 ld (curRow),hl
 ld hl,text
 bcall(_PutS)
 bcall(_NewLine)
 ld b,3
_again:
 push bc
 ld a,'A'
 bcall(_PutC)
 pop bc
 djnz _again
 ret
text: .db "Hi",0
.end
