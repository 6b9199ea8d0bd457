\ The primitives, each beside the opcodes that implement it.
\
\ Compiling a primitive copies its opcodes into the definition; executing
\ one runs them and returns. The return-stack words and the loop indices
\ only make sense inline, which is how the compiler always uses them.
\ FOLDABLE marks the pure ones: with literal arguments the compiler runs
\ them at compile time and compiles the result.

\ Stack
PRIM: dup     ( x -- x x )                     DUP ;
PRIM: drop    ( x -- )                         DROP ;
PRIM: swap    ( x1 x2 -- x2 x1 )               SWAP ;
PRIM: over    ( x1 x2 -- x1 x2 x1 )            OVER ;
PRIM: nip     ( x1 x2 -- x2 )                  SWAP DROP ;
PRIM: tuck    ( x1 x2 -- x2 x1 x2 )            SWAP OVER ;
PRIM: rot     ( x1 x2 x3 -- x2 x3 x1 )         >R SWAP R> SWAP ;
PRIM: -rot    ( x1 x2 x3 -- x3 x1 x2 )         SWAP >R SWAP R> ;
PRIM: 2dup    ( x1 x2 -- x1 x2 x1 x2 )         OVER OVER ;
PRIM: 2drop   ( x1 x2 -- )                     DROP DROP ;
PRIM: 2swap   ( x1 x2 x3 x4 -- x3 x4 x1 x2 )   >R SWAP R> SWAP >R >R SWAP R> SWAP R> ;
PRIM: 2over   ( x1 x2 x3 x4 -- x1 x2 x3 x4 x1 x2 )
              >R >R OVER OVER R> SWAP >R SWAP R> R> SWAP >R SWAP R> ;
PRIM: sp@     ( -- a-addr )                    SP@ ;
PRIM: sp!     ( a-addr -- )                    SP! ;

\ Return stack. These and the loop words are COMPILE-ONLY: run from the
\ interpreter they would act on its own return stack.
PRIM: >r      ( x -- ) ( R: -- x )             >R ;  COMPILE-ONLY
PRIM: r>      ( -- x ) ( R: x -- )             R> ;  COMPILE-ONLY
PRIM: r@      ( -- x ) ( R: x -- x )           R@ ;  COMPILE-ONLY
PRIM: rdrop   ( R: x -- )                      RDROP ;  COMPILE-ONLY
PRIM: 2>r     ( x1 x2 -- ) ( R: -- x1 x2 )     SWAP >R >R ;  COMPILE-ONLY
PRIM: 2r>     ( -- x1 x2 ) ( R: x1 x2 -- )     R> R> SWAP ;  COMPILE-ONLY
PRIM: 2r@     ( -- x1 x2 ) ( R: x1 x2 -- x1 x2 )  R> R@ OVER >R SWAP ;  COMPILE-ONLY
PRIM: rp@     ( -- a-addr )                    RP@ ;
PRIM: rp!     ( a-addr -- )                    RP! ;
\ The bottoms of the stacks, set when the system starts (LAY-OUT).
PRIM: sp0     ( -- a-addr )                    sp0-cell @ ;
PRIM: rp0     ( -- a-addr )                    rp0-cell @ ;

\ Loops. DO leaves ( R: limit-1 count ) with the count on top: NBRANCH
\ counts it down, and the index is limit-1 minus the count.
PRIM: i       ( -- n ) ( R: k c -- k c )       R> R@ OVER - SWAP >R ;  COMPILE-ONLY
PRIM: j       ( -- n )                         RP@ 12 + @ RP@ 8 + @ - ;  COMPILE-ONLY
PRIM: unloop  ( R: k c -- )                    RDROP RDROP ;  COMPILE-ONLY

\ Arithmetic and logic
PRIM: +       ( n1 n2 -- n3 )       + ;            FOLDABLE
PRIM: -       ( n1 n2 -- n3 )       - ;            FOLDABLE
PRIM: *       ( n1 n2 -- n3 )       UM* DROP ;     FOLDABLE
PRIM: and     ( x1 x2 -- x3 )       AND ;          FOLDABLE
PRIM: or      ( x1 x2 -- x3 )       OR ;           FOLDABLE
PRIM: xor     ( x1 x2 -- x3 )       XOR ;          FOLDABLE
PRIM: lshift  ( x1 u -- x2 )        LSHIFT ;       FOLDABLE
PRIM: rshift  ( x1 u -- x2 )        RSHIFT ;       FOLDABLE
PRIM: arshift ( x1 u -- x2 )        ASHIFT ;       FOLDABLE
PRIM: invert  ( x1 -- x2 )          -1 XOR ;       FOLDABLE
PRIM: negate  ( n1 -- n2 )          0 SWAP - ;     FOLDABLE
PRIM: abs     ( n -- u )            DUP 0< SWAP OVER XOR SWAP - ;  FOLDABLE
PRIM: 1+      ( n1 -- n2 )          1 + ;          FOLDABLE
PRIM: 1-      ( n1 -- n2 )          1 - ;          FOLDABLE
PRIM: 2*      ( x1 -- x2 )          1 LSHIFT ;     FOLDABLE
PRIM: 2/      ( x1 -- x2 )          1 ASHIFT ;     FOLDABLE
PRIM: cells   ( n1 -- n2 )          2 LSHIFT ;     FOLDABLE
PRIM: cell+   ( a1 -- a2 )          4 + ;          FOLDABLE
PRIM: chars   ( n1 -- n2 )          ;              FOLDABLE
PRIM: char+   ( c-addr1 -- c-addr2 )  1 + ;        FOLDABLE
PRIM: aligned ( addr -- a-addr )    3 + -4 AND ;   FOLDABLE
PRIM: um*     ( u1 u2 -- ud )       UM* ;
\ The opcode answers a zero divisor or a quotient too large with -1 -1:
\ UM/MOD tests its arguments first.
PRIM: (um/mod) ( ud u1 -- u2 u3 )   UM/MOD ;
PRIM: s>d     ( n -- d )            DUP 0< ;
\ The carry of + is in W: FW@ fetches it.
PRIM: d+      ( d1 d2 -- d3 )       >R SWAP >R + FW@ R> + R> + ;
PRIM: dnegate ( d1 -- d2 )          -1 XOR SWAP -1 XOR 1 + FW@ >R SWAP R> SWAP + ;
PRIM: upc     ( char -- char' )     DUP 97 - 26 U< 32 AND - ;   FOLDABLE

\ Comparisons. There is no = opcode: x1 = x2 when x1 - x2 is below 1.
PRIM: 0=      ( x -- flag )         1 U< ;         FOLDABLE
PRIM: 0<>     ( x -- flag )         0 SWAP U< ;    FOLDABLE
PRIM: 0<      ( n -- flag )         0< ;           FOLDABLE
PRIM: 0>      ( n -- flag )         0 SWAP < ;     FOLDABLE
PRIM: =       ( x1 x2 -- flag )     - 1 U< ;       FOLDABLE
PRIM: <>      ( x1 x2 -- flag )     - 0 SWAP U< ;  FOLDABLE
PRIM: <       ( n1 n2 -- flag )     < ;            FOLDABLE
PRIM: >       ( n1 n2 -- flag )     SWAP < ;       FOLDABLE
PRIM: u<      ( u1 u2 -- flag )     U< ;           FOLDABLE
PRIM: u>      ( u1 u2 -- flag )     SWAP U< ;      FOLDABLE
PRIM: within  ( n1 n2 n3 -- flag )  OVER - >R - R> U< ;

\ Memory: variable memory, program memory (read only), extended addresses
PRIM: @       ( a-addr -- x )       @ ;
PRIM: !       ( x a-addr -- )       ! ;
PRIM: c@      ( c-addr -- char )    C@ ;
PRIM: c!      ( char c-addr -- )    C! ;
PRIM: w@      ( addr -- u )         W@ ;
PRIM: w!      ( x addr -- )         W! ;
PRIM: +!      ( n a-addr -- )       SWAP OVER @ + SWAP ! ;
PRIM: 2@      ( a-addr -- x1 x2 )   DUP 4 + @ SWAP @ ;
PRIM: 2!      ( x1 x2 a-addr -- )   SWAP OVER ! 4 + ! ;
PRIM: count   ( c-addr1 -- c-addr2 u )  DUP 1 + SWAP C@ ;
PRIM: @p      ( paddr -- x )        @P ;
PRIM: c@p     ( paddr -- char )     C@P ;
PRIM: w@p     ( paddr -- u )        W@P ;
PRIM: @x      ( xaddr -- x )        @X ;
PRIM: !x      ( x xaddr -- )        !X ;
PRIM: c@x     ( xaddr -- char )     C@X ;
PRIM: c!x     ( char xaddr -- )     C!X ;
PRIM: w@x     ( xaddr -- u )        W@X ;
PRIM: w!x     ( x xaddr -- )        W!X ;

PRIM: execute ( i*x xt -- j*x )     EXECUTE ;
PRIM: fw@     ( -- x )              FW@ ;

\ The header cells: each fetches its cell of the image header.
PRIM: #pv     ( -- paddr )  8 @P ;
PRIM: #px     ( -- paddr )  16 @P ;
PRIM: #p0     ( -- paddr )  20 @P ;
PRIM: #vx     ( -- addr )   24 @P ;
PRIM: #r0     ( -- addr )   28 @P ;
PRIM: #rstack ( -- u )      32 @P ;
PRIM: #s0     ( -- addr )   36 @P ;
PRIM: #stack  ( -- u )      40 @P ;
PRIM: #c/pb   ( -- u )      44 @P ;
PRIM: #pb     ( -- addr )   48 @P ;
PRIM: #c/fb   ( -- u )      52 @P ;
PRIM: #fb     ( -- addr )   56 @P ;
PRIM: #c/tib  ( -- u )      60 @P ;
PRIM: #tb     ( -- addr )   64 @P ;
PRIM: #c/tob  ( -- u )      68 @P ;
PRIM: #hx     ( -- addr )   72 @P ;
PRIM: #v0     ( -- addr )   76 @P ;

\ Host services, by the names the trace line shows. Each leaves an ior on
\ top; on failure it is all that is left of the arguments, so callers hand
\ it to THROW before anything else.
PRIM: bye        ( -- )                         BYE SYSCALL ;
PRIM: (debug)    ( addr mode -- ior )           DEBUG SYSCALL ;
PRIM: (getpar)   ( -- a ior )                   GETPAR SYSCALL ;
PRIM: (>x)       ( addr -- xaddr ior )          >X SYSCALL ;
PRIM: (p>x)      ( paddr -- xaddr ior )         P>X SYSCALL ;
PRIM: (flash-w)  ( addr paddr u -- ior )        FLASH-W SYSCALL ;
PRIM: (systick)  ( -- u1 u2 ior )               SYSTICK SYSCALL ;
PRIM: (time@)    ( -- ms sec min hour ior )     TIME@ SYSCALL ;
PRIM: (date@)    ( -- day month year ior )      DATE@ SYSCALL ;
PRIM: (waitms)   ( u -- ior )                   WAITMS SYSCALL ;
PRIM: (key)      ( -- char ior )                KEY SYSCALL ;
PRIM: (emit)     ( x -- ior )                   EMIT SYSCALL ;
PRIM: (key?)     ( -- flag ior )                KEY? SYSCALL ;
PRIM: (emit?)    ( -- flag ior )                EMIT? SYSCALL ;
PRIM: (page)     ( -- ior )                     PAGE SYSCALL ;
PRIM: (atmax)    ( -- cols rows ior )           ATMAX SYSCALL ;
PRIM: (atxy?)    ( -- col row ior )             ATXY? SYSCALL ;
PRIM: (atxy)     ( col row -- ior )             ATXY SYSCALL ;
PRIM: (color@)   ( -- attr ior )                COLOR@ SYSCALL ;
PRIM: (color!)   ( attr -- ior )                COLOR! SYSCALL ;
PRIM: (fcreate)  ( name u -- fileid ior )       FCREATE SYSCALL ;
PRIM: (fdelete)  ( name u -- ior )              FDELETE SYSCALL ;
PRIM: (fopen)    ( name u fam -- fileid ior )   FOPEN SYSCALL ;
PRIM: (fclose)   ( fileid -- ior )              FCLOSE SYSCALL ;
PRIM: (fsize@)   ( fileid -- ud ior )           FSIZE@ SYSCALL ;
PRIM: (fpos@)    ( fileid -- ud ior )           FPOS@ SYSCALL ;
PRIM: (fpos!)    ( ud method fileid -- ior )    FPOS! SYSCALL ;
PRIM: (fread)    ( xaddr u1 fileid -- u2 ior )  FREAD SYSCALL ;
PRIM: (fwrite)   ( xaddr u fileid -- ior )      FWRITE SYSCALL ;
PRIM: (fpar@)    ( fileid -- flags baud ior )   FPAR@ SYSCALL ;
PRIM: (fpar!)    ( flags baud fileid -- ior )   FPAR! SYSCALL ;
PRIM: (fcopy)    ( name1 name2 flag -- ior )    FCOPY SYSCALL ;

\ The opcodes the compiler emits, named as in the opcode table.
OPCODE CALL    CONSTANT op-call     OPCODE BRANCH  CONSTANT op-branch
OPCODE 0BRANCH CONSTANT op-0branch  OPCODE NBRANCH CONSTANT op-nbranch
OPCODE LIT     CONSTANT op-lit      OPCODE EXIT    CONSTANT op-exit
OPCODE EXECUTE CONSTANT op-execute  OPCODE SP@     CONSTANT op-sp@
OPCODE DROP    CONSTANT op-drop     OPCODE DUP     CONSTANT op-dup
OPCODE OVER    CONSTANT op-over     OPCODE SWAP    CONSTANT op-swap
OPCODE RP@     CONSTANT op-rp@      OPCODE >R      CONSTANT op->r
OPCODE R>      CONSTANT op-r>       OPCODE RDROP   CONSTANT op-rdrop
OPCODE AND     CONSTANT op-and      OPCODE XOR     CONSTANT op-xor
OPCODE +       CONSTANT op-+        OPCODE -       CONSTANT op--
OPCODE RSHIFT  CONSTANT op-rshift   OPCODE U<      CONSTANT op-u<
OPCODE @       CONSTANT op-@        OPCODE FW@     CONSTANT op-fw@
OPCODE @P      CONSTANT op-@p
OPCODE NOP     CONSTANT op-nop
