; Names starting with "_" belong to the module they are written in, so two
; modules may each have their own _loop.
; bytes @0000: 10 FE 18 FC 10 FE 18 FC 00 00 04 00
 .module first
_loop: djnz _loop
 jr _loop
 .module second
_loop: djnz _loop
 jr _loop
 .module first
 .dw _loop
 .module second
 .dw _loop
