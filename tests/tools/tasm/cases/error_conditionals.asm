; Unbalanced conditionals are reported where they start.
; error: 6: #else without #if
; error: 7: #endif without #if
; error: 8: #if without #endif
 nop
#else
#endif
#ifdef NOTHING
 nop
