; A missing include file and an include loop are errors, not a hang.
; error: 5: cannot open
; error: include/loop.inc:2: includes nested too deeply
 nop
#include "include/not-there.inc"
#include "include/loop.inc"
