; A #define that refers to itself, or grows without end, is an error, not a
; hang; so is calling a #define with the wrong number of arguments.
; error: 9: does not end
; error: 10: grows without end
; error: 11: 'TWO' takes 2 arguments, not 1
#define SELF SELF+1
#define GROW GROW GROW
#define TWO(a,b) a+b
 .db SELF
 .db GROW
 .db TWO(1)
