; .end in an included file ends that file only: assembly goes on with the
; line after the #include. What follows .end there is not read (its #define
; does not take effect), an .end inside an #if of the included file leaves
; no open #if behind, and the main file's own .end ends everything, the
; rest of its line too.
; bytes @0200: 01 02 AA 03 BB 44 04 CC 05
 .org $200
 .db 1
#include "include/shell.inc"
 .db 2, AFTER_END
#include "include/ends_in_if.inc"
 .db 3, FROM_IF
#include "include/nested_end.inc"
 .db 4
 .db $CC \ .db 5 \ .end \ .db $EE
 .db $EE
