; Stand-in boot record for the first sector of a test partition.
;
; When a boot code chain-loads it to 0000:7C00 it tells which partition
; started: one line on the debug console (port E9h, QEMU -debugcon) and the
; same line on screen (INT 10h teletype), for example
;
;   BOOT disk=80 part=2 lba=00000800 sig=1234ABCD
;
; disk is DL as handed over; part, lba and sig are patched in by
; tools/make_disk.py (table entry number, the partition's start LBA and
; the signature of the disk that holds it). Then it ends the emulator
; through the isa-debug-exit port (iobase F4h), or halts when the "stay"
; flag is set (demo disks).
;
; Build: nasm -f bin -o report_boot.bin report_boot.asm

        bits    16
        org     7C00h

DEBUG_PORT      equ     0E9h
EXIT_PORT       equ     0F4h
EXIT_VALUE      equ     10h             ; QEMU exits with (10h << 1) | 1 = 33

start:
        jmp     short main
        nop

; Fields patched by make_disk.py. Keep the offsets in step with
; FIELD_* in tools/make_disk.py.
        times   4 - ($ - $$) db 0
magic:  db      "RBT1"                  ; offset 4
part:   db      0                       ; offset 8: table entry number 1..4
flags:  db      0                       ; offset 9: bit 0 = halt, do not exit
        dw      0
lba:    dd      0                       ; offset 12
sig:    dd      0                       ; offset 16

main:
        cli
        xor     ax, ax
        mov     ds, ax
        mov     es, ax
        mov     ss, ax
        mov     sp, 7C00h
        sti
        cld
        jmp     0:go                    ; normalise CS (07C0:0000 entry)
go:
        mov     [drive], dl

        mov     si, txt_boot
        call    puts
        mov     al, [drive]
        call    puthex8
        mov     si, txt_part
        call    puts
        mov     al, [part]
        add     al, '0'
        call    putc
        mov     si, txt_lba
        call    puts
        mov     eax, [lba]
        call    puthex32
        mov     si, txt_sig
        call    puts
        mov     eax, [sig]
        call    puthex32
        mov     si, txt_eol
        call    puts

        test    byte [flags], 1
        jnz     halt
        mov     al, EXIT_VALUE
        out     EXIT_PORT, al
halt:
        sti
        hlt
        jmp     halt

; puts: print the zero-ended string at DS:SI.
puts:
        lodsb
        test    al, al
        jz      .done
        call    putc
        jmp     puts
.done:
        ret

; putc: AL to the debug console (carriage returns left out) and the screen.
putc:
        push    ax
        push    bx
        cmp     al, 0Dh
        je      .screen
        out     DEBUG_PORT, al
.screen:
        mov     ah, 0Eh
        mov     bx, 0007h
        int     10h
        pop     bx
        pop     ax
        ret

; puthex32: EAX as eight hex digits.
puthex32:
        push    eax
        shr     eax, 16
        call    puthex16
        pop     eax
puthex16:
        push    ax
        mov     al, ah
        call    puthex8
        pop     ax
puthex8:
        push    ax
        shr     al, 4
        call    puthex4
        pop     ax
puthex4:
        push    ax
        and     al, 0Fh
        add     al, '0'
        cmp     al, '9'
        jbe     .digit
        add     al, 'A' - '9' - 1
.digit:
        call    putc
        pop     ax
        ret

txt_boot: db    "BOOT disk=", 0
txt_part: db    " part=", 0
txt_lba:  db    " lba=", 0
txt_sig:  db    " sig=", 0
txt_eol:  db    0Dh, 0Ah, 0

drive:  db      0

        times   510 - ($ - $$) db 0
        dw      0AA55h
