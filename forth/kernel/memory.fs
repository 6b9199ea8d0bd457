\ The memory map of the Forth system, and its image header.
\
\ Program memory, $0 .. $1FFFFF: the 80-byte header, then code. Each named
\ word's code is preceded by one cell holding its name token. A saved
\ system keeps a copy of its data space after the code, at #pv, and copies
\ it back when it starts.
\
\ Variable memory, $20000000 .. $200FFFFF, from the top down:
\   $200FFE00 .. $20100000  return stack, 128 cells       #r0
\   $200FFC00 .. $200FFE00  data stack, 128 cells         #s0
\   $200FF800 .. $200FFC00  PAD                            #pb
\   $200FF400 .. $200FF800  WORD and S" buffers            #fb
\   $200FF380 .. $200FF400  argument text, when it fits    #tb
\   $200FF300 .. $200FF380  pictured numeric output        #hx
\   transient .. $200FF300  terminal input, input sources, file buffers,
\                           the locals stack, open files, the system's
\                           run-time state:
\                           never saved
\   dlimit .. transient     the heap (ALLOCATE), growing down: never saved
\   $20000000 .. transient  data space: names, variables, user data  #v0

$20000000 DATA-SPACE

$00000000 CONSTANT code-origin
$00200000 CONSTANT code-limit
$20000000 CONSTANT data-origin
$20100000 CONSTANT vx
$20100000 CONSTANT rp0          128 CONSTANT rstack-cells
$200FFE00 CONSTANT sp0          128 CONSTANT stack-cells
rp0 rstack-cells 16 - CELLS - CONSTANT rp-limit   \ recursion stops here
$200FF800 CONSTANT pb           $400 CONSTANT /pb
$200FF400 CONSTANT fb           $400 CONSTANT /fb
$200FF380 CONSTANT tb           $80 CONSTANT /tb
$200FF300 CONSTANT hx           $80 CONSTANT /hold

\ The header: separate program memory, Harvard, no alignment checks.
$C4           3 HEADER!
$4E565846     4 HEADER!   \ stamp: SAVE-SYSTEM writes its own
code-limit   16 HEADER!
code-origin  20 HEADER!
vx           24 HEADER!
rp0          28 HEADER!
rstack-cells 32 HEADER!
sp0          36 HEADER!
stack-cells  40 HEADER!
/pb          44 HEADER!
pb           48 HEADER!
/fb          52 HEADER!
fb           56 HEADER!
/tb          60 HEADER!
tb           64 HEADER!
/hold        68 HEADER!
hx           72 HEADER!
data-origin  76 HEADER!

\ Buffers inside fb: WORD's counted string, and three for interpreted S".
fb             CONSTANT word-buffer
fb $100 +      CONSTANT string-buffers    $100 CONSTANT /string-buffer
hx             CONSTANT hold-start
hx /hold +     CONSTANT hold-end

\ The transient area, below #hx.
65536 CONSTANT /line            \ longest line read from the terminal, a pipe or a file
/line /line + 64 + CONSTANT /lines   \ the lines being read: the terminal's, then the files'
32   CONSTANT #frames           \ input sources nested by EVALUATE and INCLUDE
8    CONSTANT #files            \ files nested by INCLUDE
256  CONSTANT /file-name
40   CONSTANT /frame            \ an input source: see the fields below
1 CELLS /file-name + CONSTANT /file-slot   \ where its lines go, and its name
2048 CONSTANT /locals           \ the frames of definitions with locals
32   CONSTANT #records          \ files open at once
256  CONSTANT /record           \ a file's record: handle, access, name

hx /lines -                     CONSTANT tib
tib #frames /frame * -          CONSTANT input-stack
input-stack #files /file-slot * - CONSTANT file-slots
file-slots                      CONSTANT locals-top
locals-top /locals -            CONSTANT locals-bottom
locals-bottom #records /record * - CONSTANT records
records 1024 -                  CONSTANT sysvars
sysvars                         CONSTANT transient

\ The run-time state. It lives in the transient area, so a saved system
\ never carries it; COLD sets it up.
sysvars
\ The current input source: /frame bytes, copied whole when sources nest.
dup CONSTANT source-record
dup CONSTANT src            2 CELLS +   \ length, then address (2@ gives c-addr u)
dup CONSTANT >in            CELL+
dup CONSTANT src-id         CELL+       \ 0 terminal, -1 string, else a file
dup CONSTANT line#          CELL+
dup CONSTANT src-name       2 CELLS +   \ file name (length, address)
dup CONSTANT file-depth     CELL+       \ files open below and including this one
dup CONSTANT line-pos       CELL+       \ file position of the current line
dup CONSTANT lines-end      CELL+       \ the lines of this source and those below end here
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
dup CONSTANT next-string    CELL+       \ rotates the S" buffers
dup CONSTANT rl-fid         CELL+       \ READ-LINE: the file
dup CONSTANT rl-max         CELL+       \   the longest line it may return
dup CONSTANT rl-pos         CELL+       \   the position of the line it read
dup CONSTANT rl-buf         CELL+       \   where it goes
dup CONSTANT rl-got         CELL+       \   the bytes read so far
dup CONSTANT zname          256 +       \ a file name, NUL-terminated for the host
dup CONSTANT file-ior       CELL+       \ the ior of the file operation that failed last
dup CONSTANT file-ior-name  2 CELLS +   \   and the file's name, for THROW's message
\ The compiler's view of the code being compiled.
dup CONSTANT last-ins       CELL+       \ the last instruction compiled
dup CONSTANT prev-ins       CELL+       \ the one before it
dup CONSTANT last-label     CELL+       \ the last address a branch may target
dup CONSTANT leave-chain    CELL+       \ LEAVEs of the innermost loop
dup CONSTANT csp            CELL+       \ data stack at the start of a definition
dup CONSTANT reveal?        CELL+       \ ; makes the definition's name visible
dup CONSTANT local-names    CELL+       \ the word list of the locals, searched first, or 0
dup CONSTANT #locals        CELL+       \ cells in the frame of the definition
dup CONSTANT flash-buf      256 +       \ staging for program-memory writes
drop
