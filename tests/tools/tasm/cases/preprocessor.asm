; #define with and without parameters, #defcont, #undef, the conditionals
; (nested, also in their "." spelling), #include beside the including file,
; and no substitution inside strings or comments.
; options: -dFROMLINE=7
; bytes @0100: EF 0A 45 3E 05 2A 3E 07 01 02 03 04 02 4E 41 4D 45 0B 09 AA
#define equ .equ
#define bcall(xxxx) rst 28h \ .dw xxxx
#define NAME 5
#define ADD(a,b) ((a)+(b))
#define TABLE .db 1
#defcont \ .db 2
#defcont \ .db 3
_PutS equ 450Ah
 .org $100
 bcall(_PutS)
 ld a,NAME
#undef NAME
#ifdef NAME
 .db $EE
#else
 .db ADD(40,2)
#endif
 ld a,FROMLINE
TABLE
#ifndef NAME
 #if 2*2 == 4
  .db 4
 #else
  .db $EE
 #endif
#endif
.ifdef FROMLINE
 .db 2
.endif
 .text "NAME"                ; NAME
#if 0
 #if 1
  .db $EE
 #endif
#endif
#include "include/values.inc"
 .db NINE+2
 .db AFTERINCLUDE
 .db MARK
