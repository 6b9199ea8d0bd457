\ The memory map of the Forth system, and its image header.
\
\ Program memory, $0 .. $1FFFFF: the 80-byte header, then code. Each named
\ word's code is preceded by one cell holding its name token. A saved
\ system keeps a copy of its data space after the code, at #pv, and copies
\ it back when it starts.
\
\ Variable memory starts at $20000000; its end is wherever the simulator
\ put it (1 MiB in the header, more with norvex +V): the system takes the
\ end from the return-stack pointer it starts with. From the bottom up:
\   $20000000 .. data-start  the run-time state and buffers at fixed
\                            addresses: never saved (below)
\   data-start .. here       data space: names, variables, user data
\   here .. dlimit           free: data space and the heap grow into it
\   dlimit .. heap-top       the heap (ALLOCATE), growing down
\   .. lp0                   the locals stack, growing down
\   .. sp-limit              the data stack's overflow guard (the limits are
\                            in program memory: see below)
\   sp-limit .. sp0          the data stack
\   .. rp0 - return stack    the data stack's underflow guard
\   rp-limit .. rp0          the return stack (and its margin below rp-limit)
\   rp0 .. the end           the return stack's underflow guard: cells that
\                            send a return past the bottom to a -6 THROW
\ Each stack takes a sixteenth of variable memory (16384 cells in 1 MiB);
\ LAY-OUT computes the regions when the system starts. The header cells
\ #r0 .. #hx describe the layout in the header's 1 MiB.

$20000000 $8000 + DATA-SPACE   \ data-start: 32 KiB of fixed state below it

$00000000 CONSTANT code-origin
$00200000 CONSTANT code-limit
$20000000 CONSTANT data-origin
$20008000 CONSTANT data-start
$20100000 CONSTANT vx            \ the end of variable memory in the header

\ The stacks, for a variable memory of a given size (see LAY-OUT)
256  CONSTANT /rguard            \ above rp0
1024 CONSTANT /rmargin           \ below rp-limit: calls between two checks
1024 CONSTANT /sguard            \ above sp0
\ In the header's 1 MiB: a sixteenth is $10000 bytes.
vx /rguard -                      CONSTANT default-rp0
default-rp0 $10000 - /sguard -    CONSTANT default-sp0

\ The fixed area, from data-origin up
1024 CONSTANT /tib
65536 CONSTANT /line           \ longest line read from the terminal, a pipe or a file
128  CONSTANT #frames           \ input sources nested by EVALUATE and INCLUDE
56   CONSTANT /frame            \ an input source: see the fields below
4096 CONSTANT /zname            \ a file name for the host, its NUL included
128  CONSTANT #records          \ files open at once
16   CONSTANT /record           \ a file's record: handle, access, name
1024 CONSTANT /pb
260  CONSTANT /word-buffer
128  CONSTANT /hold

\ Where the stacks are full, in two cells of program memory (LAY-OUT writes
\ them, with @P they are read): translated code reads them once, when it
\ translates the check that the compiler puts before a call that may
\ recurse, and so runs the check at the cost of the test at a block's entry.
CODE-HERE 0 CODE,  CONSTANT sp-limit   \ the data stack is full below this
CODE-HERE 0 CODE,  CONSTANT rp-limit   \ the return stack is full below this

\ The run-time state. COLD sets it up; a saved system never carries it.
data-origin
dup CONSTANT sysvars
\ The current input source: /frame bytes, copied whole when sources nest.
dup CONSTANT source-record
dup CONSTANT src            2 CELLS +   \ length, then address (2@ gives c-addr u)
dup CONSTANT >in            CELL+
dup CONSTANT src-id         CELL+       \ 0 terminal, -1 string, else a file
dup CONSTANT line#          CELL+
dup CONSTANT src-name       2 CELLS +   \ file name (length, address)
dup CONSTANT file-depth     CELL+       \ files open below and including this one
dup CONSTANT line-pos       CELL+       \ file position of the current line
dup CONSTANT src-slot       CELL+       \ the heap block of an included file's name and line
dup CONSTANT src-buf        CELL+       \   the line buffer in it
dup CONSTANT blk            CELL+       \ the block being interpreted, or 0
dup CONSTANT src-own        CELL+       \ INCLUDED opened the file: it may close it a while
dup CONSTANT src-resume     CELL+       \   and the position to read on from
\ The memory layout, from the end of variable memory
dup CONSTANT mem-top        CELL+       \ the end of variable memory
dup CONSTANT rp0-cell       CELL+
dup CONSTANT sp0-cell       CELL+
dup CONSTANT lp0            CELL+       \ the top of the locals stack
dup CONSTANT lp-limit       CELL+       \ and its bottom
dup CONSTANT heap-top       CELL+       \ the heap lies from dlimit up to here
dup CONSTANT #input         CELL+       \ sources saved on the input stack
dup CONSTANT state          CELL+
dup CONSTANT base           CELL+
dup CONSTANT handler        CELL+       \ the innermost CATCH frame
dup CONSTANT hld            CELL+
dup CONSTANT dlimit         CELL+       \ data space ends here; the heap starts
dup CONSTANT lp             CELL+       \ the locals frame of the running definition
dup CONSTANT args           2 CELLS +   \ the argument text (2@ gives c-addr u)
dup CONSTANT last-word      2 CELLS +   \ the word being interpreted
dup CONSTANT err-word       2 CELLS +   \ where the last exception came from
dup CONSTANT err-name       2 CELLS +
dup CONSTANT err-line       CELL+
dup CONSTANT abort-msg      2 CELLS +
dup CONSTANT after-cr       CELL+       \ the last line typed ended with CR
dup CONSTANT next-string    CELL+       \ the oldest of the interpreted S" strings
dup CONSTANT rl-fid         CELL+       \ READ-LINE: the file
dup CONSTANT rl-max         CELL+       \   the longest line it may return
dup CONSTANT rl-pos         CELL+       \   the position of the line it read
dup CONSTANT rl-buf         CELL+       \   where it goes
dup CONSTANT rl-got         CELL+       \   the bytes read so far
dup CONSTANT terminal-line  CELL+       \ the heap block the terminal's lines go to, or 0
dup CONSTANT file-ior       CELL+       \ the ior of the file operation that failed last
dup CONSTANT file-ior-name  2 CELLS +   \   and the file's name, for THROW's message
\ The heap
dup CONSTANT free-lists     32 CELLS +  \ free blocks by size class: 2^n .. 2^(n+1)-1 bytes
dup CONSTANT free-classes   CELL+       \ bit n set: free-lists n is not empty
dup CONSTANT block-table    CELL+       \ the directory of the table of blocks in use
dup CONSTANT table-size     CELL+       \ entries the directory has room for
dup CONSTANT table-used     CELL+       \ entries handed out so far
dup CONSTANT table-free     CELL+       \ the first entry given back, or -1
dup CONSTANT live-blocks    CELL+       \ blocks of programs in use
\ Blocks (the words are in blocks.fs)
dup CONSTANT block-buffers  CELL+       \ the block buffers, in the heap, or 0
dup CONSTANT block-fid      CELL+       \ the block file, or 0 while it is not open
dup CONSTANT block-name     2 CELLS +   \ its name, in the heap, or 0 0 for blocks.fb
dup CONSTANT block-current  CELL+       \ the buffer BLOCK or BUFFER gave last, or 0
dup CONSTANT block-uses     CELL+       \ counts uses of buffers, for choosing the oldest
\ Interpreted S" strings, each in the heap: the last 17 made stay.
17 CONSTANT #strings
dup CONSTANT strings        #strings CELLS +
\ The compiler's view of the code being compiled.
dup CONSTANT last-ins       CELL+       \ the last instruction compiled
dup CONSTANT prev-ins       CELL+       \ the one before it
dup CONSTANT last-label     CELL+       \ the last address a branch may target
dup CONSTANT leave-chain    CELL+       \ LEAVEs of the innermost loop
dup CONSTANT csp            CELL+       \ data stack at the start of a definition
dup CONSTANT colon-mark     4 CELLS +   \ here, code-here, latest, last-xt before it, or 0
dup CONSTANT reveal?        CELL+       \ ; makes the definition's name visible
dup CONSTANT local-names    CELL+       \ the word list of the locals, searched first, or 0
dup CONSTANT #locals        CELL+       \ cells in the frame of the definition
dup CONSTANT flash-buf      256 +       \ staging for program-memory writes
dup CONSTANT zname          /zname +    \ a file name, NUL-terminated for the host
\ Texts for the message of an exception: copies, as their sources may be
\ gone (a nested file's line and name) by the time the message is shown.
dup CONSTANT ior-name       /zname +    \ the file of the file operation that failed last
dup CONSTANT err-name-buf   /zname +    \ the file being read
dup CONSTANT err-word-buf   256 +       \ the word being interpreted
\ The buffers
dup CONSTANT tib            /tib +
dup CONSTANT input-stack    #frames /frame * +
dup CONSTANT records        #records /record * +
dup CONSTANT pb             /pb +        \ PAD
dup CONSTANT word-buffer    /word-buffer +
dup CONSTANT hold-start     /hold +      \ pictured numeric output
dup CONSTANT hold-end
drop
\ The fixed area must end at or below data-start (a kernel test checks it).

\ The header: separate program memory, Harvard, no alignment checks.
$C4           3 HEADER!
$4E565846     4 HEADER!   \ stamp: SAVE-SYSTEM writes its own
code-limit   16 HEADER!
code-origin  20 HEADER!
vx           24 HEADER!
default-rp0  28 HEADER!
$10000 /rmargin - 2 RSHIFT  32 HEADER!   \ return-stack cells
default-sp0  36 HEADER!
$10000 2 RSHIFT  40 HEADER!   \ data-stack cells
/pb          44 HEADER!
pb           48 HEADER!
/word-buffer 52 HEADER!
word-buffer  56 HEADER!
/tib         60 HEADER!
tib          64 HEADER!
/hold        68 HEADER!
hold-start   72 HEADER!
data-origin  76 HEADER!
