; An #include name whose file exists only in another letter case (as DOS
; sources name them) finds that file, folder names included.
; bytes @0000: 09 AA 55
 .org 0
#include "INCLUDE/Values.INC"
 .db NINE, MARK
 .db 55h
