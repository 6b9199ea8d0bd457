\ Random ALLOCATE, RESIZE and FREE checked against a model of the live
\ blocks. Each slot of the model holds a block's address, its size and the
\ byte it is filled with; a block's bytes are checked before it is resized
\ or freed, and all blocks every so often, so that any overlap or lost byte
\ shows. Stray addresses and second frees must answer an ior and change
\ nothing. At the end every block is freed and UNUSED must be as before.
\ Prints "heap stress: <ops> ops, <n> failures".

decimal
variable seed  2463534 seed !
: random  ( -- u )  seed @ 1103515245 * 12345 + dup seed ! 8 rshift ;
: below   ( n -- u )  random 0 rot um/mod drop ;

100 constant #slots
create addrs  #slots cells allot
create sizes  #slots cells allot
create fills  #slots cells allot
: addr@   ( i -- a-addr )  cells addrs + @ ;
: size@   ( i -- u )  cells sizes + @ ;
: fill@   ( i -- char )  cells fills + @ ;
: live?   ( i -- flag )  addr@ 0<> ;

variable failures
variable ops
variable no-room   \ ALLOCATE or RESIZE answered -59 or -61: allowed, counted
: fail    ( c-addr u -- )  1 failures +!  failures @ 5 < if cr type space ops @ . else 2drop then ;

: same?   ( a-addr u char -- flag )   \ all u bytes hold char
  -rot bounds ?do dup i c@ <> if drop false unloop exit then loop drop true ;
: check   ( i -- )  dup addr@ over size@ rot fill@ same? 0= if s" bytes changed" fail then ;
: check-all  ( -- )  #slots 0 do i live? if i check then loop ;
: paint   ( i -- )  random 255 and over cells fills + !  dup addr@ over size@ rot fill@ fill ;
: aligned? ( a-addr -- flag )  dup aligned = ;

: a-size  ( -- u )   \ mostly small, some large
  4 below case 0 of 16 below endof 1 of 200 below endof 2 of 2000 below endof 20000 below swap endcase ;

: new-block  ( i -- )
  a-size dup allocate ?dup if
    -59 <> if s" allocate ior" fail then 2drop drop  1 no-room +! exit
  then
  dup aligned? 0= if s" unaligned" fail then
  rot >r  r@ cells addrs + !  r@ cells sizes + !  r> paint ;
: drop-block ( i -- )
  dup check  dup addr@ free if s" free failed" fail then
  dup addr@ free -60 <> if s" second free" fail then
  0 swap cells addrs + ! ;
: resize-block ( i -- )
  dup check  dup addr@ a-size dup >r resize ?dup if
    -61 <> if s" resize ior" fail then  over addr@ <> if s" resize moved" fail then
    2drop rdrop 1 no-room +! exit
  then                                      ( i a2 ) ( R: u )
  over size@ r@ min  over swap  3 pick fill@ same? 0= if s" resize lost bytes" fail then
  over cells addrs + !  r> over cells sizes + !  paint ;
: stray    ( -- )   \ addresses no ALLOCATE gave: inside a block, data space, 0
  #slots below dup live? if
    addr@ dup cell+ free -60 <> if s" stray inside" fail then
    dup 1+ 10 resize nip -61 <> if s" stray resize" fail then drop
  else drop then
  here free -60 <> if s" stray here" fail then
  0 free -60 <> if s" stray zero" fail then ;

: step     ( -- )
  1 ops +!  #slots below
  dup live? 0= if new-block exit then
  3 below case 0 of drop-block endof 1 of resize-block endof nip stray endcase ;
: stress   ( n -- )
  unused >r
  0 ?do step  i 997 mod 0= if check-all then loop  check-all
  #slots 0 do i live? if i drop-block then loop
  unused r> <> if s" unused not back" fail then ;

addrs #slots cells erase
20000 stress
cr .( heap stress: ) ops @ . .( ops, ) failures @ . .( failures) cr
