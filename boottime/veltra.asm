; veltra.asm - VELTRA boot-time manager (the build gives the version:
; VERSION_TEXT "9.06", VERSION_DIGITS "906").
;
; One real-mode program of 2048 bytes at 0000:0600..0DFF, all segment
; registers 0. The first 512 bytes are stage 1 (LBA 0, loaded by the
; firmware at 0000:7C00 and moved to 0000:0600 by its first instructions);
; the other 1536 bytes are stage 2 (LBA 2..4), which stage 1 loads to
; 0000:0800. LBA 1 keeps the MBR that was on the disk before installation;
; stage 1 loads it to 0000:7C00, merges the live TableBlock into it, and all
; partition switching is done there before its boot code is started.
;
; Build: nasm -f bin -DSTAGE2_CHECK=value -o veltra.bin -l veltra.lst veltra.asm
;        (-DMAP_FILE=veltra.map also writes the symbol map; -DLANGUAGE=en the
;        English texts; the build finds the value itself, see
;        boottime/CMakeLists.txt)
;
; Conventions for the whole program: DS = ES = SS = 0, the direction flag
; clear, interrupts enabled, BP = partitionCount from the end of the
; start-up on (set by countPartitions, kept by every other routine). Each
; routine's header names its inputs, outputs and the registers it clobbers.

%include "layout.inc"

; LANGUAGE: the language of the texts, nl (the default) or en. Only the
; texts differ: every code label has the same address in both (the build
; compares the two symbol maps).
%ifndef LANGUAGE
  %define LANGUAGE nl
%endif
%ifidn LANGUAGE, nl
  %include "texts_nl.inc"
%elifidn LANGUAGE, en
  %include "texts_en.inc"
%else
  %error "LANGUAGE must be nl or en"
%endif

; STAGE2_CHECK: the word that makes stage 2's words add up to 0. The build
; assembles once with 0, computes it from that stage 2 (stage2_sum.cmake)
; and assembles again with it; stage 2 itself does not depend on it. The
; English build takes the Dutch value and adds STAGE2_BALANCE to its stage 2
; instead, found the same way.
%ifndef STAGE2_CHECK
  %error "assemble with -DSTAGE2_CHECK=value (see boottime/CMakeLists.txt)"
%endif

        cpu     186
        bits    16
        org     RELOC_BASE

%ifdef MAP_FILE
        [map all MAP_FILE]
%endif

; ==========================================================================
; Stage 1: LBA 0
; ==========================================================================

; startUp: entry from the firmware, at 0000:7C00 or 07C0:0000 alike.
; Sets SS:SP = 0000:7C00 and DS = ES = 0, copies the 512 bytes at 0000:7C00
; to 0000:0600 and continues there at `relocated` by a far return. Uses
; absolute constants only, never its own labels: until the far return the
; code runs at an address other than the one it was assembled for.
; In:  nothing (DL from the firmware is ignored; drive 80h is used).
; Out: AX = 0, CX = 0, DS = ES = SS = 0, SP = 7C00h, DF = 0.
startUp:
        xor     ax, ax
        mov     ss, ax                  ; the next instruction runs with
        mov     sp, BOOT_ADDR           ; interrupts held off
        mov     es, ax
        mov     ds, ax
        mov     si, BOOT_ADDR
        mov     di, RELOC_BASE
        mov     cx, SECTOR_SIZE
        cld
        rep     movsb
        push    ax                      ; segment 0
        push    CONTINUE_AT
        retf
        assertAt RELOC_BASE + ENTRY_CODE_SIZE   ; entry code is exactly 28 bytes

        ; 01Ch..029h: never executed.
        db      "    "
        assertAt INSTALL_MARKER_AT
installMarker:
        db      "VELTRA"                ; the installer looks for these six
        db      VERSION_DIGITS, " "     ; version digits (from the build), blank
        assertAt CONTINUE_AT

; relocated: rest of the start-up, running in the copy at 0000:062A.
; Pauses so that a key can be pressed, loads the saved MBR from LBA 1 to
; 0000:7C00, then (loadStage2) carries the live TableBlock (07B0h) over the
; stale one in it (7DB0h), loads stage 2 from LBA 2..4 to 0000:0800, sets
; WriteBackSource to the relocated stage 1, checks stage 2 and counts the
; recognised partitions (checkAndCount).
; In:  segments, stack and direction flag as left by startUp.
; Out: BP = partitionCount; continues with pollKeys.
relocated:
        sti                             ; the keyboard must queue keys

        ; Pause: it ends at the first of three things: a key in the BIOS
        ; keyboard buffer (head word unequal to tail word; the key stays
        ; queued for pollKeys), pauseTicks ticks of the BIOS clock, or
        ; 65536 rounds of 65536 decrements (2^32 steps), the limit for a
        ; BIOS whose clock does not run. Clock and keyboard are looked at
        ; once at the start of every round, so a key queued before the pause
        ; and a pauseTicks of 0 end it at once.
        ;
        ; The ticks are counted round by round: DI = pauseTicks minus the
        ; ticks seen so far, SI = the clock's low word at the last look. A
        ; round's ticks are the 16-bit difference of two looks, which is
        ; right across the low word's wrap (FFFFh to 0000h). At midnight the
        ; BIOS starts the 32-bit count again at 0 (after 1800AFh); the low
        ; word then goes back, from 00AFh or less to a small value, and the
        ; difference would be a huge count that ends the pause at once. A
        ; round in which the clock went back therefore counts no tick at
        ; all: the pause can grow by the ticks of that one round, never
        ; shrink.
pauseBegin:
        mov     si, [BDA_CLOCK]
        db      0BFh                    ; mov di, imm16: the installer sets
        assertAt PAUSE_TICKS_AT         ; the immediate (offset 30h of LBA 0)
pauseTicks:
        dw      PAUSE_TICKS_DEFAULT
        xor     cx, cx                  ; inner counter
        xor     dx, dx                  ; outer counter
pauseRound:
        mov     ax, [BDA_CLOCK]
        xchg    ax, si                  ; SI = now, AX = the last look
        sub     ax, si                  ; AX = -(ticks in the last round)
        jg      .noTicks                ; the clock went back: midnight
        add     di, ax
        jle     pauseEnd                ; pauseTicks ticks have passed
.noTicks:
        mov     ax, [BDA_KEY_HEAD]      ; a key queued?
        cmp     ax, [BDA_KEY_TAIL]
        jne     pauseEnd
pauseSpin:
        dec     cx
        jnz     pauseSpin
        dec     dx
        jnz     pauseRound
pauseEnd:                               ; CX = 0 here, whichever ended it
        mov     bx, BOOT_ADDR           ; LBA 1: the saved MBR
        mov     al, 1
        mov     cl, SAVED_MBR_SECTOR
        call    loadSectors
        call    loadStage2

; pollKeys: decide what this start does. CapsLock on shows the menu without
; taking a key; a key already queued (pressed during the pause) is taken;
; otherwise the DefaultKey stands in for a key.
; In:  BP = partitionCount. Never returns.
pollKeys:
        test    byte [BDA_KEYBOARD_FLAGS], CAPSLOCK_BIT
        jnz     showMenu
        mov     ah, 01h                 ; key waiting?
        int     16h
        jnz     waitForKey
        padCodeTo DEFAULT_KEY_INSN_AT
        ; No key: AX := DefaultKey * 100h. The installer patches the
        ; immediate's high byte (offset 70h of LBA 0); the image holds 00h.
noKeyWaiting:
        db      0B8h, 00h               ; mov ax, imm16
defaultKey:
        db      00h
        assertAt DEFAULT_KEY_AT + 1

; dispatchKey: act on a key word by the key table, first match wins.
; F3/Alt-F3 need partitionCount >= 3, F4/Alt-F4 need 4; a key word that is
; not listed or not accepted boots the first disk with its table unchanged.
; In:  AX = key word, BP = partitionCount. Never returns.
; Passes on: DL = ordinal (F n, Alt-F n); DL = drive and DI = address of the
; entry's type byte in the sector buffer (other-disk keys).
dispatchKey:
        mov     di, keyTable
        mov     cx, KEY_COUNT
        repne   scasw
        jne     .unchanged
        mov     ax, KEY_COUNT - 1
        sub     ax, cx                  ; AX = row of the match, 0..20
        cmp     al, ROW_F10
        ja      .otherDisk
        je      .removal
        mov     bx, ax                  ; rows 0..7: F n (even), Alt-F n (odd)
        mov     dl, al
        shr     dl, 1
        inc     dx                      ; DL = n, 1..4
        call    lastOrdinal
        cmp     dl, al
        ja      .unchanged              ; ordinal not offered: as unlisted
        test    bl, 1
        jnz     .altF
        jmp     fKeyHandler
.altF:  jmp     altFKeyHandler
.removal:
        jmp     removeAtBoot
.otherDisk:
        sub     al, ROW_F5              ; AL = 4 * (drive - 81h) + entry - 1
        mov     dl, al
        shr     dl, 2
        add     dl, SECOND_DISK         ; DL = drive
        and     ax, 3
        shl     ax, 4
        add     ax, OTHER_TYPE_BYTES
        xchg    ax, di                  ; DI = type byte of the entry
        jmp     bootOtherDrive
.unchanged:
        jmp     writeBackAndBoot

; waitForKey: wait for a key without limit; Space shows the menu, every
; other key is dispatched.
; In:  BP = partitionCount. Never returns.
waitForKey:
        mov     ah, 00h
        int     16h
        cmp     ax, KEY_SPACE
        jne     dispatchKey
        ; fall through

; showMenu: the menu (menuBanner in stage 2), then wait for a key.
; In:  BP = partitionCount. Never returns.
showMenu:
        jmp     menuBanner

; loadSectors: read sectors of cylinder 0, head 0 of the first disk, with a
; disk reset between tries. When every try fails the machine is stopped with
; a message: neither a saved MBR nor a stage 2 that was not read is run.
; In:  AL = count, CX = CHS sector (CH = 0), ES:BX = buffer.
; Out: returns only on success. Clobbers AX, DX, DI (SI, BX on failure).
loadSectors:
        mov     di, LOAD_TRIES
.try:   mov     ah, 02h
        mov     dx, FIRST_DISK          ; head 0
        push    ax
        int     13h
        pop     ax
        jc      .failed
        ret
.failed:
        push    ax
        mov     ah, 00h                 ; reset the disk system
        int     13h
        pop     ax
        dec     di
        jnz     .try
        ; fall through

; loadFailed: tell that a start-up read failed and stop; the machine can
; still be restarted with Ctrl-Alt-Del.
; In:  nothing. Never returns.
loadFailed:
        mov     si, loadFailedText
        mov     bx, ATTR_BLANK          ; page 0
.print: lodsb
        test    al, al
        jz      loadFailedHalt
        mov     ah, 0Eh
        int     10h
        jmp     .print
loadFailedHalt:
        hlt                             ; interrupts stay on
        jmp     loadFailedHalt

loadFailedText:
        db      LF, CR, TEXT_LOAD_FAILED, 0
        times   LOAD_FAILED_ROOM - ($ - loadFailedText) db 0        ; fails when it is too long

; loadStage2: carry the disk's current TableBlock (the one LBA 0 was
; loaded with) over the stale one in the saved MBR at 7C00h, load stage 2
; from LBA 2..4 and go on with checkAndCount.
; In:  the saved MBR at 7C00h. Out: as checkAndCount. Clobbers AX, CX, DX, SI, DI.
loadStage2:
        mov     si, RELOC_TABLE_BLOCK   ; the disk's current TableBlock
        mov     di, SAVED_TABLE_BLOCK
        mov     cx, TABLE_BLOCK_SIZE
        rep     movsb                   ; leaves CX = 0
        mov     bx, STAGE2_BASE         ; LBA 2..4: stage 2
        mov     al, STAGE2_SECTORS
        mov     cl, STAGE2_SECTOR
        call    loadSectors
        ; fall through

; checkAndCount: run nothing of stage 2 unless it is the stage 2 this
; stage 1 was built with: its 768 words and the check value built in here
; must add up to 0 (mod 10000h). Sectors that were cleared, overwritten by
; another program or written by another build read without an error but do
; not add up; the machine then stops with the read-error message before any
; byte of them runs or anything is written. Then counts the recognised
; partitions. WriteBackSource is set to the relocated stage 1 on the way.
; In:  stage 2 at 0000:0800. Out: BP = partitionCount.
; Clobbers AX, CX, DX, SI.
checkAndCount:
        mov     word [WRITE_BACK_SOURCE], RELOC_BASE
        mov     si, STAGE2_BASE
        mov     dx, strict word STAGE2_CHECK
STAGE2_CHECK_AT equ $ - 2               ; the build checks the value here
        mov     cx, STAGE2_WORDS
.sum:   lodsw
        add     dx, ax
        loop    .sum
        jnz     loadFailed              ; flags of the last add: the total
        jmp     countPartitions

; keyTable: key words in the order they are compared. The row number
; selects the action (see dispatchKey).
keyTable:
        dw      3B00h, 6800h            ; F1, Alt-F1
        dw      3C00h, 6900h            ; F2, Alt-F2
        dw      3D00h, 6A00h            ; F3, Alt-F3
        dw      3E00h, 6B00h            ; F4, Alt-F4
ROW_F10 equ ($ - keyTable) / 2
        dw      4400h                   ; F10
ROW_F5  equ ($ - keyTable) / 2
        dw      3F00h, 4000h, 4100h, 4200h      ; F5..F8: second disk, entry 1..4
        dw      0231h, 0332h, 0433h, 0534h      ; 1..4: third disk
        dw      0635h, 0736h, 0837h, 0938h      ; 5..8: fourth disk
KEY_COUNT equ ($ - keyTable) / 2

stage1End:
        padTo   STAGE1_CODE_END         ; stage 1 code must end before 1AEh
        padTo   RELOC_TABLE_BLOCK
tableBlock:
        times   TABLE_BLOCK_SIZE db 0   ; the disk's own bytes go here
        assertAt STAGE2_BASE

; ==========================================================================
; Stage 2, first part (0800h..098Fh): menu lines, other disks
; ==========================================================================

; menuBanner: print a line end and the banner line, then the rest of the
; menu.
; In:  BP = partitionCount. Never returns.
menuBanner:
        mov     si, lineEnd
        call    printMessage
        mov     al, ' '
        call    printChar
        mov     al, '>'
        mov     cx, 22
        call    printRepeated
        mov     si, msgBanner
        call    printMessage
        mov     al, '<'
        mov     cx, 23
        call    printRepeated
        mov     si, lineEnd
        call    printMessage
        ; fall through

; menuKeyLines: the menu after its banner: one key line per offered ordinal,
; the partitions of the other disks, the F10 line and a line end; then waits
; for a key.
; In:  BP = partitionCount. Never returns.
menuKeyLines:
        call    lastOrdinal
        mov     dh, al                  ; DH = last ordinal
        mov     dl, 1                   ; DL = n
.line:  mov     al, ' '
        call    printChar
        mov     al, 'F'
        call    printChar
        call    printDigit
        mov     si, msgActivate
        call    printMessage
        call    printDigit
        mov     si, msgAltFComma
        call    printMessage
        call    printDigit
        mov     si, msgAndOpenOthers
        call    printMessage
        inc     dl
        cmp     dl, dh
        jbe     .line
        call    listOtherDrives
        mov     si, msgUninstallKey
        call    printMessage
        mov     si, lineEnd
        call    printMessage
        jmp     waitForKey

; listOtherDrives: one menu line for each usable partition entry of the
; second to fourth disk, in table order, up to the first entry that is
; empty, extended or has start LBA 0. A disk that cannot be read ends the
; whole listing. Leaves the disk's MBR in the sector buffer.
; In:  nothing. Out: ListDrive = the disk whose read failed, or 84h.
; Clobbers AX, BX, CX, DX, SI, DI.
listOtherDrives:
        mov     byte [listDrive], SECOND_DISK
.drive: mov     ax, 0201h
        mov     bx, SECTOR_BUFFER
        mov     cx, 0001h               ; cylinder 0, sector 1
        mov     dh, 0
        mov     dl, [listDrive]
        int     13h
        jc      .done
        mov     di, OTHER_TYPE_BYTES
        mov     dl, 1                   ; DL = entry number e
.entry: call    checkOtherEntry
        jz      .nextDrive
        mov     al, ' '
        call    printChar
        mov     al, ' '                 ; "F" on the second disk only
        cmp     byte [listDrive], SECOND_DISK
        jne     .label
        mov     al, 'F'
.label: call    printChar
        mov     al, dl                  ; key digit: e on the third disk,
        add     al, '0'                 ; e + 4 on the second and fourth
        cmp     byte [listDrive], SECOND_DISK + 1
        je      .key
        add     al, 4
.key:   call    printChar
        mov     si, msgStartWindows
        call    printMessage
        mov     al, [listDrive]         ; disk digit: 2, 3 or 4
        sub     al, FIRST_DISK - 1 - '0'
        call    printChar
        mov     si, msgDriveOn
        call    printMessage
        call    printDigit
        mov     si, msgPartitionIfPresent
        call    printMessage
        add     di, ENTRY_SIZE
        inc     dl
        cmp     dl, ENTRY_COUNT
        jbe     .entry
.nextDrive:
        inc     byte [listDrive]
        cmp     byte [listDrive], LAST_DISK
        jbe     .drive
.done:  ret

; checkOtherEntry: may a partition entry of another disk be listed/started?
; Not when its type is 00h, its type without the hidden bit is 05h or 0Fh
; (extended), or its start LBA is 0.
; In:  DI = address of the entry's type byte.
; Out: ZF = 1 when the entry is unusable. Clobbers AX.
checkOtherEntry:
        mov     al, [di]
        test    al, al
        jz      .done
        and     al, ~HIDDEN_BIT & 0FFh
        cmp     al, 05h
        je      .done
        cmp     al, 0Fh
        je      .done
        mov     ax, [di + ENTRY_LBA - ENTRY_TYPE]
        or      ax, [di + ENTRY_LBA - ENTRY_TYPE + 2]
.done:  ret

; bootOtherDrive: start a partition of another disk from its first sector.
; Reads the disk's MBR to the sector buffer, checks the entry, asks the BIOS
; (AH=41h) whether it reads this disk by packet and reads the partition's
; first sector with INT 13h AH=42h into the sector buffer; a BIOS without
; the packet functions reads it with AH=02h from the entry's starting CHS
; address (bytes 1..3), unless that is the overflow mark of cylinder 1023,
; sector 63 (a start beyond what CHS can address). Only after a good read
; is the sector copied to 0000:7C00 and entered. Any failure boots the first
; disk with its table unchanged; the saved MBR at 7C00h is never overwritten
; before that. Nothing is written to any disk here.
; In:  DL = drive (81h..83h), DI = address of the entry's type byte in the
;      sector buffer (0FC2h, 0FD2h, 0FE2h, 0FF2h). Never returns.
bootOtherDrive:
        push    dx
        mov     ax, 0201h
        mov     bx, SECTOR_BUFFER
        mov     cx, 0001h               ; cylinder 0, sector 1
        mov     dh, 0
        int     13h
        pop     dx
        jc      .fallBack
        call    checkOtherEntry
        jz      .fallBack
        mov     ax, [di + ENTRY_LBA - ENTRY_TYPE]
        mov     [diskAddressPacket + DAP_LBA], ax
        mov     ax, [di + ENTRY_LBA - ENTRY_TYPE + 2]
        mov     [diskAddressPacket + DAP_LBA + 2], ax
        mov     word [diskAddressPacket + DAP_BUFFER_OFS], SECTOR_BUFFER
        push    dx                      ; does the BIOS read this disk by packet?
        mov     ah, 41h
        mov     bx, 55AAh
        int     13h
        pop     dx
        jc      .chs
        cmp     bx, 0AA55h
        jne     .chs
        test    cl, 1                   ; bit 0: AH=42h..44h, 47h, 48h offered
        jz      .chs
        mov     si, diskAddressPacket
        mov     ah, 42h
        jmp     .read
.chs:   mov     dh, [di + ENTRY_CHS - ENTRY_TYPE]       ; head
        mov     cx, [di + ENTRY_CHS - ENTRY_TYPE + 1]   ; sector and cylinder
        cmp     cx, CHS_OVERFLOW        ; cylinder 1023, sector 63
        je      .fallBack
        mov     ax, 0201h
        mov     bx, SECTOR_BUFFER
.read:  push    dx
        int     13h
        pop     dx
        jc      .fallBack
        mov     si, SECTOR_BUFFER
        mov     di, BOOT_ADDR
        mov     cx, SECTOR_SIZE / 2
        rep     movsw
        mov     si, diskAddressPacket   ; DS:SI for the started sector
        jmp     enterBootSector
.fallBack:
        jmp     writeBackAndBoot

codeAEnd:
        padTo   DAP_AT

; diskAddressPacket: INT 13h AH=42h request, one block; buffer and start
; LBA are filled in by bootOtherDrive, the upper half of the LBA stays 0.
diskAddressPacket:
        db      DAP_SIZE                ; size
        db      0                       ; reserved
        dw      1                       ; block count
        dw      0                       ; buffer offset
        dw      0                       ; buffer segment
        dq      0                       ; start LBA
        assertAt CODE_B_AT

; ==========================================================================
; Stage 2, second part (09A0h..): switching, write-back, removal
; ==========================================================================

; fKeyHandler: F n. Confirms "Fn: partitie n is aktief", makes recognised
; partition n active and visible and the other offered ones inactive and
; hidden, writes LBA 0 back and boots the first disk.
; In:  DL = n (1..4), BP = partitionCount. Never returns.
fKeyHandler:
        mov     al, 'F'
        call    printChar
        mov     di, msgIsActive
        mov     dh, HIDDEN_BIT          ; flags for the other ordinals
        jmp     switchPartitions

; altFKeyHandler: Alt-F n. As fKeyHandler, but the other offered
; partitions become inactive and visible.
; In:  DL = n (1..4), BP = partitionCount. Never returns.
altFKeyHandler:
        mov     si, msgAltF
        call    printMessage
        mov     di, msgIsActiveOthersVisible
        mov     dh, 0
        ; fall through

; switchPartitions: common tail of the F n and Alt-F n handlers: prints
; the digit, ": partitie ", the digit and the closing message, clears the
; active flag of all four entries (recognised or not, so that the kept MBR
; finds at most one active entry), then sets the ordinals 1 .. lastOrdinal
; in ascending order (80h for n, DH for the rest) and continues with
; writeBackAndBoot.
; In:  DL = n, DH = flags for the other ordinals, DI = closing message,
;      BP = partitionCount. Never returns.
switchPartitions:
        call    printDigit
        mov     si, msgPartition
        call    printMessage
        call    printDigit
        mov     si, di
        call    printMessage
        mov     si, SAVED_PART_TABLE
        mov     cx, ENTRY_COUNT
.inactive:
        and     byte [si], ~ACTIVE_FLAG & 0FFh  ; bits 0..6 and the type stay
        add     si, ENTRY_SIZE
        loop    .inactive
        mov     bx, dx                  ; BL = n, BH = flags for the others
        call    lastOrdinal
        mov     cl, al                  ; CL = last ordinal
        mov     dl, 1                   ; DL = ordinal k
.ordinal:
        mov     dh, bh
        cmp     dl, bl
        jne     .set
        mov     dh, ACTIVE_FLAG         ; chosen one: active and visible
.set:   call    setPartitionState
        inc     dl
        cmp     dl, cl
        jbe     .ordinal
        ; fall through

; writeBackAndBoot: write the live table back to LBA 0 and start the saved
; MBR's boot code, which starts the active partition. A start that leaves
; the TableBlock as stage 1 found it writes nothing: LBA 0 would get the
; bytes it holds (stage 1 never changes its own code), and firmware that
; guards the boot sector has nothing to ask. After F10 the saved MBR is
; written in any case.
; In:  WriteBackSource. Never returns.
writeBackAndBoot:
        cmp     word [WRITE_BACK_SOURCE], RELOC_BASE
        jne     .write
        mov     si, SAVED_TABLE_BLOCK
        mov     di, RELOC_TABLE_BLOCK
        mov     cx, TABLE_BLOCK_SIZE
        repe    cmpsb
        je      .start                  ; all 80 bytes as read from LBA 0
.write: call    writeBack
.start: mov     dl, FIRST_DISK
        ; fall through

; enterBootSector: start the sector at 0000:7C00 the way the firmware
; would: AX = 0, DS = ES = SS = 0, SP = 7C00h.
; In:  DL = drive, SI as the started code should see it. Never returns.
enterBootSector:
        xor     ax, ax
        mov     ds, ax
        mov     es, ax
        mov     ss, ax
        mov     sp, BOOT_ADDR
        jmp     0000h:BOOT_ADDR

; writeBack: copy the live TableBlock (7DB0h) into the relocated stage 1
; (07B0h) and write the 512 bytes at 0000:[WriteBackSource] to LBA 0 of the
; first disk.
; In:  WriteBackSource. Out: CF = 1 when the BIOS refused the write.
; Clobbers AX, BX, CX, DX, SI, DI.
writeBack:
        mov     si, SAVED_TABLE_BLOCK
        mov     di, RELOC_TABLE_BLOCK
        mov     cx, TABLE_BLOCK_SIZE
        rep     movsb
        mov     bx, [WRITE_BACK_SOURCE]
        mov     ax, 0301h
        mov     cx, 0001h               ; cylinder 0, sector 1: LBA 0
        mov     dx, FIRST_DISK          ; head 0
        int     13h
        ret

; lastOrdinal: the highest ordinal that the keys and the menu offer:
; 1 and 2 always, 3 and 4 only when that many recognised partitions exist.
; In:  BP = partitionCount. Out: AL = max(2, partitionCount). Clobbers AH.
lastOrdinal:
        mov     ax, bp
        cmp     al, 2
        jae     .done
        mov     al, 2
.done:  ret

; removeAtBoot: F10, remove the manager from the first disk now. First
; LBA 0 gets the saved MBR with the live table, then LBA 1..4 are zeroed,
; so the disk is never left with stage 1 over empty sectors, whatever
; happens next (another disk started, a reset, a further key); only then
; does it say that the manager is removed. The next write-back also stores
; the saved MBR, with the table as then chosen. When the BIOS refuses the
; write of LBA 0, LBA 1..4 stay as they are, it says that nothing was
; removed and the start goes on as without F10: the next write-back stores
; stage 1 again (or nothing, see writeBackAndBoot).
; In:  BP = partitionCount. Ends in waitForKey.
removeAtBoot:
        mov     word [WRITE_BACK_SOURCE], BOOT_ADDR
        call    writeBack
        jc      .refused
        mov     di, SECTOR_BUFFER
        mov     cx, SECTOR_SIZE / 2
        xor     ax, ax
        rep     stosw
        mov     cl, SAVED_MBR_SECTOR    ; CHS sectors 2..5: LBA 1..4
.zero:  push    cx
        mov     ax, 0301h
        mov     bx, SECTOR_BUFFER
        mov     dx, FIRST_DISK
        int     13h
        pop     cx
        inc     cx
        cmp     cl, SAVED_MBR_SECTOR + STAGE2_SECTORS
        jbe     .zero
        mov     si, msgRemoved
        jmp     .tell
.refused:
        mov     word [WRITE_BACK_SOURCE], RELOC_BASE
        mov     si, notRemovedText
.tell:  call    printMessage
        jmp     waitForKey

codeBEnd:

; notRemovedText: F10 could not write LBA 0; the manager stays installed.
notRemovedText:
        db      TEXT_NOT_REMOVED, LF, CR, "$"
        padTo   MESSAGES_AT

; ==========================================================================
; Messages: code page 437, line end LF CR, ended by "$"
; ==========================================================================

msgPartition:                   db TEXT_PARTITION, "$"
msgIsActive:                    db TEXT_IS_ACTIVE, LF, CR, "$"
msgAltF:                        db TEXT_ALT_F, "$"
msgIsActiveOthersVisible:       db TEXT_IS_ACTIVE_OTHERS_VISIBLE, LF, CR, "$"
msgBanner:                      db TEXT_BANNER, "$"
msgActivate:                    db TEXT_ACTIVATE, "$"
msgAltFComma:                   db TEXT_ALT_F_COMMA, "$"
msgAndOpenOthers:               db TEXT_AND_OPEN_OTHERS
lineEnd:                        db LF, CR, "$"  ; also the menu's bare line end
msgUninstallKey:                db TEXT_UNINSTALL_KEY, LF, CR, "$"
msgRemoved:                     db TEXT_REMOVED, LF, CR, "$"
msgStartWindows:                db TEXT_START_WINDOWS, "$"
msgDriveOn:                     db TEXT_DRIVE_ON, "$"
msgPartitionIfPresent:          db TEXT_PARTITION_IF_PRESENT, LF, CR, "$"
messagesEnd:
%ifdef STAGE2_BALANCE
        ; A build whose texts differ from the Dutch ones: this word makes
        ; stage 2 add up to the same total, so that it works with the same
        ; check value and a stage 1 of either language.
        padTo   LIST_DRIVE_AT - 2
        dw      STAGE2_BALANCE
%endif
        padTo   LIST_DRIVE_AT

; listDrive: BIOS drive number whose table listOtherDrives is listing.
listDrive:
        db      SECOND_DISK
        assertAt CODE_C_AT

; ==========================================================================
; Stage 2, third part (0D01h..0DB3h): output, counting, switching
; ==========================================================================

; printMessage: print a "$"-ended string at the cursor. Bytes of 20h and
; above are written in green with INT 10h AH=09h, the column is advanced in
; the BIOS data area; a line feed is preceded by a grey blank; bytes below
; 20h go to the teletype, which moves the cursor and scrolls.
; In:  DS:SI = string. Out: SI past the "$". Clobbers AX, BX, CX.
printMessage:
        push    bp                      ; some BIOSes lose BP on a scroll
.next:  lodsb
        cmp     al, STRING_END
        je      .done
        mov     bx, ATTR_BLANK          ; page 0
        mov     cx, 1
        cmp     al, LF
        jne     .notLf
        push    ax
        mov     ax, 0900h + ' '
        int     10h
        pop     ax
.notLf: cmp     al, ' '
        jb      .control
        mov     ah, 09h
        mov     bl, ATTR_TEXT
        int     10h
        inc     word [BDA_CURSOR_POS]
        jmp     .next
.control:
        mov     ah, 0Eh
        int     10h
        jmp     .next
.done:  pop     bp
        ret

; printDigit: print the digit DL (0..9) in green at the cursor.
; In:  DL. Clobbers AX, BX, CX.
printDigit:
        mov     al, dl
        add     al, '0'
        ; fall through

; printChar: print AL once in green at the cursor.
; In:  AL. Clobbers AX, BX, CX.
printChar:
        mov     cx, 1
        ; fall through

; printRepeated: write CX copies of AL in green from the cursor on and
; advance the column byte of the BIOS cursor by CX.
; In:  AL = character, CX = count (1..255). Clobbers AX, BX.
printRepeated:
        mov     ah, 09h
        mov     bx, ATTR_TEXT           ; page 0
        int     10h
        add     [BDA_CURSOR_POS], cl
        ret

; countPartitions: count the recognised partitions of the live table.
; In:  the saved MBR at 7C00h. Out: BP = partitionCount (0..4).
; Clobbers AX, CX, SI.
countPartitions:
        xor     bp, bp
        mov     si, SAVED_PART_TABLE + ENTRY_TYPE
        mov     cx, ENTRY_COUNT
.entry: mov     al, [si]
        call    isRecognised
        jne     .next
        inc     bp
.next:  add     si, ENTRY_SIZE
        loop    .entry
        ret

; setPartitionState: change the n-th recognised partition of the live
; table (ordinal in table order). Only the active bit of its boot indicator
; and the hidden bit of its type change; no other entry is touched. With
; fewer than n recognised partitions nothing changes.
; In:  DL = n (1..4), DH = flags: 80h make active, 10h make hidden.
; Out: nothing. Clobbers AX, SI.
setPartitionState:
        push    cx
        push    dx
        mov     si, SAVED_PART_TABLE
        mov     cx, ENTRY_COUNT
.entry: mov     al, [si + ENTRY_TYPE]
        call    isRecognised
        jne     .next
        dec     dl
        jz      .found
.next:  add     si, ENTRY_SIZE
        loop    .entry
        jmp     .done
.found: mov     al, dh
        and     al, ACTIVE_FLAG
        and     byte [si], ~ACTIVE_FLAG & 0FFh
        or      [si], al
        mov     al, dh
        and     al, HIDDEN_BIT
        and     byte [si + ENTRY_TYPE], ~HIDDEN_BIT & 0FFh
        or      [si + ENTRY_TYPE], al
.done:  pop     dx
        pop     cx
        ret

; isRecognised: is a type code one of the recognised types, visible or
; hidden?
; In:  AL = type code. Out: ZF = 1 when recognised. Clobbers AL.
isRecognised:
        push    cx
        push    di
        and     al, ~HIDDEN_BIT & 0FFh
        mov     di, recognisedTypes
        mov     cx, RECOGNISED_COUNT
        repne   scasb
        pop     di
        pop     cx
        ret

recognisedTypes:
        db      06h, 0Bh, 0Ch, 0Eh, 07h, 81h, 83h
RECOGNISED_COUNT equ $ - recognisedTypes

codeCEnd:
        padTo   VERSION_AT

; versionNotice: product and version text; nothing prints it (checkAndCount
; adds it up with the rest of stage 2).
versionNotice:
        db      " VELTRA ", VERSION_TEXT, TEXT_VERSION_NOTICE
        times   VERSION_SIZE - ($ - versionNotice) db ' '
        assertAt PROGRAM_END
