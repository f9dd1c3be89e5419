; Forward references that change an instruction's address settle over the
; passes; a name set again with .set takes its values in order.
; bytes @0000: 3A 0C 00 C3 0C 00 02 01 03 0B 0B 00 2A
 ld a,(data)
 jp data
count .set 1
 .db count+1
 .db count
count .set count+2
 .db count
 .db size, size
 .db 0
data:
 .db 42
size .equ data-end+12
end:
