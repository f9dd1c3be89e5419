; Without -i, names of different case are different names.
; bytes @0000: 01 02 01
Name .equ 1
NAME .equ 2
 .db Name, NAME, Name
