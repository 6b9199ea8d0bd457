\ Data space, code space, and the dictionary.

\ Data space grows from data-start toward the heap.
VARIABLE dp
PRIM: here   ( -- addr )  dp @ ;
: unused  ( -- u )  dlimit @ here - ;
: allot   ( n -- )  dup 0> if dup here + dlimit @ u> if -8 throw then then dp +! ;
: ,       ( x -- )  4 allot here 4 - ! ;
: c,      ( char -- )  1 allot here 1- c! ;
: align   ( -- )  here aligned dp ! ;

\ Code space: program memory, written only through the flash service.
VARIABLE cp
: code-here   ( -- paddr )  cp @ ;
: flash       ( addr paddr u -- )  (flash-w) throw ;
: code-bytes, ( addr u -- )   \ appends u bytes from variable memory
  dup code-here + code-limit u> if -8 throw then
  code-here swap dup cp +! flash ;
: code,       ( x -- )  flash-buf ! flash-buf 4 code-bytes, ;
: code-c,     ( char -- )  flash-buf c! flash-buf 1 code-bytes, ;
: code!       ( x paddr -- )  swap flash-buf ! flash-buf swap 4 flash ;
: code-c!     ( char paddr -- )  swap flash-buf c! flash-buf swap 1 flash ;

\ Word lists. The search order is context, #order wids long, first
\ searched first; definitions go into current.
VARIABLE latest      \ nt of the latest definition
VARIABLE last-xt     \ xt of the latest definition, named or not
VARIABLE current
VARIABLE #order
CREATE context  16 CELLS ALLOT
VARIABLE voc-link    \ the latest word list made
CREATE forth-wordlist  0 , 0 ,  64 CELLS ALLOT

\ Names are found by hash: the thread of the word list, then a quick test
\ of length and tag (one fetch of the two bytes at >count), then the
\ letters, case aside.
: name-hash   ( c-addr u -- h )  0 -rot bounds ?do 33 * i c@ upc + loop $9E3779B1 * ;
: name-key    ( u h -- key )  18 rshift 255 and 8 lshift or ;
: thread      ( h wid -- a-addr )  swap 26 rshift cells + >threads ;

: name>xt     ( nt -- xt )  >xt @ ;
: name>string ( nt -- c-addr u )  dup >name swap >count c@ ;
: name>flags  ( nt -- char )  >flags c@ ;
: immediate?  ( nt -- flag )  name>flags $80 and 0<> ;
: xt>name     ( xt -- nt | 0 )  4 - @p ;

: names=      ( c-addr1 c-addr2 u -- flag )
  0 ?do over i + c@ upc over i + c@ upc <> if 2drop false unloop exit then loop
  2drop true ;
: name-match? ( c-addr u nt -- c-addr u flag )  >name >r 2dup r> swap names= ;

: (find-in)   ( c-addr u key nt -- c-addr u nt | c-addr u 0 )
  swap >r
  begin dup while
    dup >count w@ r@ = if dup >r name-match? r> swap if rdrop exit then then
    >link @
  repeat rdrop ;
: search-thread ( c-addr u h wid -- c-addr u h nt | c-addr u h 0 )
  over >r thread @ over r@ name-key swap (find-in) r> swap ;

\ The locals of the definition being compiled come before the search order.
: find-local  ( c-addr u h -- c-addr u h nt | c-addr u h 0 )
  local-names @ dup if search-thread then ;
: find-name   ( c-addr u -- nt | 0 )
  2dup name-hash  find-local ?dup if nip nip nip exit then
  #order @ 0 ?do
    context i cells + @ search-thread ?dup if nip nip nip unloop exit then
  loop drop 2drop 0 ;

: find-name-in ( c-addr u wid -- nt | 0 )
  >r 2dup name-hash r> search-thread nip nip nip ;

\ A name defined again in the word list that gets it is noted, as
\ "redefined dup", with the old name's spelling when the case differs.
\ WARNINGS OFF turns the notes off.
VARIABLE warnings
: .redefined  ( c-addr u nt -- c-addr u )
  ." redefined " name>string 2dup type  2over str= 0= if ."  with " 2dup type then ."   " ;
: ?redefined  ( c-addr u -- c-addr u )
  warnings @ if 2dup current @ find-name-in ?dup if .redefined then then ;

\ A header in data space, and the nt cell before the code.
: header,     ( c-addr u -- )
  dup 0= if -16 throw then  dup 255 u> if -19 throw then  ?redefined
  align here >r
  0 , 0 , 0 c, 0 c, dup c, 2dup name-hash 18 rshift c,
  here swap dup allot move align
  r@ latest !  r@ code,  code-here dup last-xt !  r> >xt ! ;
: reveal      ( -- )   \ links the latest header into the current word list
  latest @ dup name>string name-hash current @ thread  over over @ swap ! ! ;
: set-flag    ( char -- )  latest @ >flags dup c@ rot or swap c! ;
: immediate   ( -- )  $80 set-flag ;
: compile-only ( -- )  $20 set-flag ;
