; Data and layout directives: .db/.byte/.text/.dw/.word, strings with
; escapes, .block and .org gaps (filled with 00 in a binary image), .fill
; (FFh unless given), .msfirst/.lsfirst, .equ/EQU/=/.set, .chk, .echo,
; .addinstr, and .end, after which nothing is assembled.
; bytes @0010: 41 42 0A 22 00 43 34 12 12 34 78 56 00 00 FF FF 07 07 00 00
; bytes: 03 05 05 09 ED 71 01 00 01
; echo: value 42
; echo: done
 .org $10
 .byte "AB\n\"\0", 'C'
 .word $1234
 .msfirst
 .dw $1234
 .lsfirst
 .dw $5678
 .block 2
 .fill 2
 .fill 2,7
nine .set 1
nine .set 9
 .org $+2
 .db three, five, six-1, nine
three = 3
five EQU 5
six .equ 6
 .addinstr OUTZ "" ED71 2
 outz
start:
 .db 1,0
 .chk start
 .echo "value "
 .echo 42
 .echo "\n"
 .echo "done\n"
 .end
 .db $EE
