; Strict MBR boot code for the QEMU boots: starts the active partition the way
; the classic MBR code does, and refuses a table whose boot indicators are
; not exactly one 80h with all others 00h.
;
; Runs at 0000:7C00 with DL = boot drive, moves itself to 0000:0600, checks
; the four entries, reads the active partition's first sector (INT 13h
; AH=42h, start LBA of the entry) to 0000:7C00 and enters it with DL = drive
; and DS:SI = the entry. A refused table, a failed read or a sector without
; 55h AAh prints one line on the debug console (port E9h) and the screen:
;
;   MBR: invalid partition table
;   MBR: read error
;
; and halts, as the classic code stops with its message.
;
; Build: nasm -f bin -o strict_mbr.bin strict_mbr.asm (at most 440 bytes; the
; disk signature and the table follow).

        bits    16
        org     0600h

DEBUG_PORT      equ     0E9h
TABLE           equ     07BEh

start:
        cli
        xor     ax, ax
        mov     ss, ax
        mov     sp, 7C00h
        mov     ds, ax
        mov     es, ax
        sti
        cld
        mov     si, 7C00h
        mov     di, 0600h
        mov     cx, 256
        rep     movsw
        jmp     0:relocated

relocated:
        mov     [drive], dl
        ; Exactly one boot indicator 80h, the others 00h.
        mov     si, TABLE
        xor     bx, bx                  ; BX = the active entry
        mov     cx, 4
.entry: mov     al, [si]
        test    al, al
        jz      .next
        cmp     al, 80h
        jne     invalid
        test    bx, bx
        jnz     invalid                 ; a second active entry
        mov     bx, si
.next:  add     si, 16
        loop    .entry
        test    bx, bx
        jz      invalid

        mov     [entry], bx
        mov     eax, [bx + 8]           ; start LBA
        mov     [packet + 8], eax
        mov     si, packet
        mov     dl, [drive]
        mov     ah, 42h
        int     13h
        jc      readError
        cmp     word [7DFEh], 0AA55h
        jne     readError
        mov     si, [entry]
        mov     dl, [drive]
        jmp     0:7C00h

invalid:
        mov     si, txt_invalid
        jmp     stop
readError:
        mov     si, txt_read
stop:
        lodsb
        test    al, al
        jz      halt
        cmp     al, 0Dh
        je      .screen
        out     DEBUG_PORT, al
.screen:
        mov     ah, 0Eh
        mov     bx, 0007h
        int     10h
        jmp     stop
halt:
        hlt
        jmp     halt

txt_invalid:    db      "MBR: invalid partition table", 0Dh, 0Ah, 0
txt_read:       db      "MBR: read error", 0Dh, 0Ah, 0

        align   4
packet: db      10h, 0                  ; size, reserved
        dw      1                       ; one sector
        dw      7C00h, 0                ; to 0000:7C00
        dd      0, 0                    ; start LBA
drive:  db      0
entry:  dw      0

        times   440 - ($ - $$) db 0
