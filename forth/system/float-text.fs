\ Floats as text: REPRESENT and >FLOAT, exact in both directions, and the
\ words built on them (F. FE. FS. F.S, float literals).
\
\ A binary64 number is m * 2^e with integers m and e, so its decimal
\ expansion is finite: m * 2^e, or m * 5^-e * 10^e when e < 0. REPRESENT
\ builds that integer in base 10^9 and rounds its digits. >FLOAT reads the
\ digits into an integer D and a power of ten, and finds the binary number
\ with integers too: D * 10^k, or D * 2^s / 5^n for 10^-n, from whose
\ leading 64 bits and the sticky bit rounding is exact.

\ --- Integers of many cells ----------------------------------------------
\ A big integer is a cell count, then the cells, the least significant first.

170 constant #big-cells
: big     ( "name" -- )  create #big-cells 1+ cells allot ;
: limbs   ( big -- a u )  dup cell+ swap @ ;
: limb    ( big i -- a )  1+ cells + ;
: big!    ( u big -- )  1 over ! cell+ ! ;
: trim    ( big -- )   \ no zero cells at the top
  begin dup @ 1 > over dup @ 1- limb @ 0= and while -1 over +! repeat drop ;
: grow    ( x big -- )   \ x as a new top cell
  dup @ #big-cells = if -256 throw then  1 over +!  dup @ 1- limb ! ;
: big0=   ( big -- flag )  dup @ 1 = swap cell+ @ 0= and ;

\ In base 2^32
: big*    ( big u -- )   \ big = big * u
  0 rot dup >r limbs cells bounds ?do  ( u carry )
    over i @ um* rot 0 d+ swap i ! cell +loop
  nip ?dup if r@ grow then rdrop ;
: big+    ( big u -- )   \ big = big + u
  swap dup >r limbs cells bounds ?do  i @ + fw@ swap i ! dup 0= if leave then cell +loop
  ?dup if r@ grow then rdrop ;
: big-bits ( big -- n )   \ the position of the highest set bit, plus one
  dup @ 1- dup 32 * >r limb @ 0 begin over while 1+ swap 1 rshift swap repeat nip r> + ;
: big-cmp ( big1 big2 -- n )  {: a b :}   \ -1, 0, 1: big1 is less, equal, greater
  a @ b @ <> if a @ b @ u< 2* 1+ exit then
  0 a @ 1- do  a i limb @ b i limb @ 2dup <> if u< 2* 1+ unloop exit then 2drop  -1 +loop  0 ;
: big-    ( big1 big2 -- )  {: a b | borrow :}   \ big1 = big1 - big2, big1 not smaller
  a @ 0 do
    a i limb @  i b @ < if b i limb @ else 0 then  - fw@ >r  borrow - fw@ r> or to borrow
    a i limb !
  loop  a trim ;
: shl-bits ( big b -- )  {: a b | c :}   \ 0 < b < 32
  a @ 0 do  a i limb @ dup b lshift c or a i limb !  32 b - rshift to c  loop
  c if c a grow then ;
: shl-cells ( big k -- )  {: a k :}
  a @ k + #big-cells > if -256 throw then
  0 a @ 1- do  a i limb @ a i k + limb !  -1 +loop
  k 0 ?do 0 a i limb ! loop  k a +! ;
: big-shl ( big n -- )   \ big = big * 2^n
  2dup 31 and ?dup if shl-bits else drop then  5 rshift ?dup if shl-cells else drop then ;
: big-shr1 ( big -- )  {: a | c :}
  0 a @ 1- do  a i limb @ dup 1 rshift c or a i limb !  31 lshift to c  -1 +loop  a trim ;
: big-cell ( big i -- x )  over @ over > if limb @ else 2drop 0 then ;   \ 0 above the top
: bits-at ( big p -- lo hi )  {: a p :}   \ the 64 bits from bit p up
  a p 5 rshift big-cell  a p 5 rshift 1+ big-cell  p 31 and drshift drop
  a p 5 rshift 1+ big-cell  a p 5 rshift 2 + big-cell  p 31 and drshift drop ;
: below?  ( big p -- flag )  {: a p :}   \ some bit below bit p is set
  p 5 rshift 0 ?do a i big-cell if true unloop exit then loop
  a p 5 rshift big-cell  1 p 31 and lshift 1- and 0<> ;
\ The leading 64 bits, with the sticky bit; the integer is (lo hi) * 2^e.
: big-top64 ( big -- lo hi e )
  dup big-bits 64 - dup 0< if >r 0 bits-at r@ negate dlshift r> exit then
  >r dup r@ bits-at rot r@ below? sticky r> ;
: big*10^ ( big n -- )   \ big = big * 10^n
  begin dup 9 > while over 1000000000 big* 9 - repeat
  1 swap 0 ?do 10 * loop big* ;
: big*5^  ( big n -- )
  begin dup 13 > while over 1220703125 big* 13 - repeat
  1 swap 0 ?do 5 * loop big* ;

\ In base 10^9, for decimal digits
1000000000 constant 1e9
: dec*    ( big u -- )   \ big = big * u
  0 rot dup >r limbs cells bounds ?do   ( u carry )
    over i @ um* rot 0 d+ 1e9 (um/mod) swap i ! cell +loop
  nip begin ?dup while 0 1e9 (um/mod) swap r@ grow repeat rdrop ;

\ --- REPRESENT ---------------------------------------------------------

big n1  big n2  big n3
800 constant /digits
create digits /digits allot
variable #digits
: #dec    ( u -- n )  0 swap begin swap 1+ swap 0 10 (um/mod) nip dup 0= until drop ;
: limb>digits ( u n -- )   \ the n low decimal digits of u, most significant first
  dup #digits +!  digits #digits @ + swap 0 ?do 1- >r 0 10 (um/mod) swap [char] 0 + r@ c! r> loop 2drop ;
: dec>digits ( big -- )   \ all its digits into digits
  0 #digits !  dup dup @ 1- limb @ dup #dec limb>digits
  dup @ 1- begin ?dup while 1- 2dup limb @ 9 limb>digits repeat drop ;
\ The exact decimal expansion of a finite number, not zero: its digits, and
\ x with r = digits * 10^x.
: exact-digits ( lo hi se -- x )
  e@ bias - 52 - >r >>11                                 ( m ) ( R: e )
  1e9 (um/mod) swap n1 big! ?dup if n1 grow then
  r> dup 0< if
    dup negate begin dup 13 > while n1 1220703125 dec* 13 - repeat
    1 swap 0 ?do 5 * loop n1 swap dec*
  else
    0 swap begin dup 29 > while n1 536870912 dec* 29 - repeat
    1 swap lshift n1 swap dec*
  then  n1 dec>digits ;

\ Rounding the digits to u of them, to nearest with ties to even.
: up?     ( u -- flag )   \ what follows the first u digits rounds them up
  digits over + c@ [char] 5 - ?dup if 0> nip exit then
  #digits @ over 1+ ?do digits i + c@ [char] 0 <> if drop true unloop exit then loop
  ?dup 0= if false exit then  digits + 1- c@ 1 and 0<> ;
: carry-digits ( u -- carry )   \ adds one to the first u digits
  begin dup while
    1- digits over + dup c@ [char] 9 = if [char] 0 swap c! else dup c@ 1+ swap c! drop false exit then
  repeat drop true ;
: round-digits ( u -- n )   \ n: 1 when the first u digits became 10^u
  dup #digits @ < 0= if drop 0 exit then
  dup up? 0= if drop 0 exit then
  carry-digits if [char] 1 digits c! 1 else 0 then ;

: .special-text ( c-addr u lo hi se -- )   \ an infinity or a NaN, as REPRESENT writes them
  nan3? if s" nan" else s" inf" then  2over blank  rot min rot swap move ;
: represent ( c-addr u -- n flag1 flag2 ) ( F: r -- )
  f>x {: a u lo hi se :}
  se e@ e-special = if a u lo hi se .special-text 0 se 0< false exit then
  se e@ 0= if a u [char] 0 fill 1 se 0< true exit then
  lo hi se exact-digits #digits @ +  u round-digits +
  digits a #digits @ u min move
  #digits @ u < if a #digits @ + u #digits @ - [char] 0 fill then
  se 0< true ;

\ --- F. FE. FS. ----------------------------------------------------------

variable #precision  15 #precision !
: precision     ( -- u )  #precision @ ;
: set-precision ( u -- )  1 max 300 min #precision ! ;
create fbuf 300 allot
: zeros   ( n -- )  0 max 0 ?do [char] 0 emit loop ;
: trimmed ( c-addr u -- c-addr u' )   \ without trailing zeros
  begin dup while 2dup + 1- c@ [char] 0 = while 1- repeat then ;
\ r's digits in fbuf; false (with the text shown) for an infinity or a NaN.
: float-digits ( F: r -- ) ( -- n true | false )
  fbuf precision represent  swap if [char] - emit then
  if true exit then  drop fbuf 3 type space false ;
: .exponent ( n -- )  [char] E emit (.) type space ;
: f.      ( F: r -- )
  float-digits 0= if exit then  >r fbuf precision          ( c-addr u ) ( R: n )
  r@ 0> 0= if ." 0." r> negate zeros trimmed type space exit then
  r@ over < if over r@ type [char] . emit r> /string trimmed type space exit then
  type r> precision - zeros [char] . emit space ;
: fs.     ( F: r -- )
  float-digits 0= if exit then
  fbuf c@ emit [char] . emit  fbuf 1+ precision 1- type  1- .exponent ;
: fe.     ( F: r -- )   \ the exponent a multiple of 3
  float-digits 0= if exit then
  1- dup s>d 3 fm/mod nip 3 * tuck - 1+                     ( e3 k )
  >r fbuf precision r@ min type  r@ precision - zeros  [char] . emit
  fbuf precision r> over min /string type  .exponent ;

\ --- >FLOAT ---------------------------------------------------------------

\ The significant digits go to digits (a digit 1 stands for any that do
\ not fit), the number is digits * 10^k.
780 constant #kept
variable k
variable dropped     \ a digit that did not fit was not 0
: keep?   ( char -- flag )   \ kept: not a leading zero, and there is room
  [char] 0 = #digits @ 0= and 0=  #digits @ #kept < and ;
: keep    ( char -- )  digits #digits @ + c!  1 #digits +! ;
: int-digit  ( char -- )
  dup keep? if keep exit then
  #digits @ if [char] 0 <> dropped @ or dropped !  1 k +! else drop then ;
: frac-digit ( char -- )
  dup keep? if keep -1 k +! exit then
  #digits @ if [char] 0 <> dropped @ or dropped ! else drop -1 k +! then ;
: decimal-digit? ( c-addr u -- flag )  if c@ [char] 0 - 10 u< else drop false then ;
: skip?   ( c-addr u char -- c-addr' u' flag )   \ the text starts with char, now skipped
  >r dup if over c@ r@ = if rdrop 1 /string true exit then then rdrop false ;
: sign?   ( c-addr u -- c-addr' u' negative? )
  [char] + skip? if false exit then  [char] - skip? ;
\ The digits of the significand; u: how many there were.
: digits-of ( c-addr1 u1 xt -- c-addr2 u2 n )  {: xt | n :}   \ xt ( char -- ) takes each
  begin 2dup decimal-digit? while over c@ xt execute 1 /string n 1+ to n repeat n ;
: exponent-digits ( c-addr u -- c-addr' u' n )   \ up to 99999
  0 >r begin 2dup decimal-digit? while over c@ [char] 0 - r> 10 * + 99999 min >r 1 /string repeat r> ;
\ The exponent: nothing, or a marker E e D d with an optional sign, or a
\ sign alone, then digits (perhaps none). flag: it was one.
: exponent ( c-addr u -- c-addr' u' n flag )
  dup 0= if 0 true exit then
  over c@ upc dup [char] E = swap [char] D = or if 1 /string sign? else
    over c@ dup [char] + = swap [char] - = or 0= if 0 false exit then sign? then
  >r exponent-digits r> if negate then true ;
: parse-float ( c-addr u -- negative? flag )
  0 #digits !  0 k !  false dropped !
  sign? >r  ['] int-digit digits-of >r
  [char] . skip? if ['] frac-digit digits-of else 0 then  r> +
  0= if 2drop r> false exit then
  exponent 0= if 2drop drop r> false exit then
  k +!  nip 0= r> swap ;
: blank?  ( c-addr u -- flag )  bounds ?do i c@ bl <> if false unloop exit then loop true ;

: big-copy ( big1 big2 -- )  over @ 1+ cells move ;
: digits>big ( -- )   \ n2 = the digits as an integer
  0 n2 big!  0 #digits @ 0 ?do
    10 * digits i + c@ [char] 0 - +
    i 1+ 9 mod 0= if n2 1e9 big* n2 swap big+ 0 then
  loop
  #digits @ 9 mod ?dup if 1 swap 0 ?do 10 * loop n2 swap big* n2 swap big+ else drop then ;
\ n2 / 10^n: n2 * 2^s / 5^n / 2^n, with s such that the quotient has 63 or
\ 64 bits; they come from 64 steps of long division.
: quotient>x ( n -- lo hi se )  {: n | shift :}
  1 n1 big!  n1 n big*5^
  n2 big-bits n1 big-bits - 63 -  dup to shift
  dup 0< if n2 swap negate big-shl else n1 swap big-shl then
  n1 n3 big-copy  n3 63 big-shl
  0 0 64 0 do d2* n2 n3 big-cmp 0< 0= if n2 n3 big- swap 1 or swap then n3 big-shr1 loop
  n2 big0= 0= sticky
  [ bias 63 + ] literal shift + n -  normalize round53 ;
\ Up to 18 digits and 10^27: both numbers are exact in 64 bits, so one
\ multiplication or division, rounded once, is the correctly rounded result.
28 constant #exact-powers
create exact-powers  #exact-powers /fentry * allot   \ 10^0 ... 10^27
: fill-exact-powers ( -- )
  1. d>x x>f
  #exact-powers 0 do
    fdup f>x exact-powers i /fentry * + fx!
    10. d>x x>f f2> x* >ftop                  \ exact while it fits 64 bits
  loop fdrop ;
fill-exact-powers
: short?  ( -- flag )  #digits @ 19 < dropped @ 0= and  k @ abs #exact-powers < and ;
: digits>d ( -- d )
  0 0 #digits @ 0 ?do  2dup d2* d2* d+ d2*  digits i + c@ [char] 0 - 0 d+  loop ;
: exact-decimal ( -- lo hi se )
  digits>d d>x x>f  exact-powers k @ abs /fentry * + fx@ x>f
  f2> k @ 0< if x/ else x* then  fdrop round53? ;
: decimal>x ( -- lo hi se )   \ digits * 10^k, rounded to binary64
  #digits @ 0= if 0 0 0 exit then
  short? if exact-decimal exit then
  dropped @ if [char] 1 keep -1 k +! then
  digits>big  k @
  #digits @ over + 310 > if drop 0 signed-inf exit then
  #digits @ over + -330 < if drop 0 signed-zero exit then
  dup 0< 0= if n2 swap big*10^ n2 big-top64 [ bias 63 + ] literal + round53 exit then
  negate quotient>x ;
: >float  ( c-addr u -- true | false ) ( F: -- r | )
  2dup blank? if 2drop 0 0 0 x>f true exit then
  parse-float 0= if drop false exit then
  >r decimal>x r> if sign-bit or then x>f true ;

\ --- Float literals -----------------------------------------------------

\ A literal is its three cells and the code of X>F, which pushes them.
: fliteral ( F: r -- )  f>x rot literal, swap literal, literal, ['] x>f compile, ;
  immediate compile-only
: letter? ( c-addr u char -- flag )  -rot bounds ?do i c@ upc over = if drop true unloop exit then loop drop false ;
\ In decimal, text with an exponent E (and none with D) that >FLOAT takes.
: float-number ( c-addr u -- ) ( F: -- r )
  base @ 10 = if
    2dup [char] E letter? if 2dup [char] D letter? 0= if
      2dup >float if 2drop state @ if postpone fliteral then exit then
    then then
  then  not-a-number ;
' float-number is other-number

\ The shortest text that >FLOAT reads back as r, for SEE: "-d.dddEn".
create ftext 48 allot
variable #ftext
: +ftext  ( c-addr u -- )  ftext #ftext @ + swap dup #ftext +! move ;
: +fchar  ( char -- )  ftext #ftext @ + c!  1 #ftext +! ;
: digits-text ( n negative? u -- )   \ from fbuf's first u digits
  0 #ftext !  swap if [char] - +fchar then
  fbuf 1 +ftext  dup 1 > if [char] . +fchar then  fbuf 1+ swap 1- +ftext
  [char] E +fchar  1- (.) +ftext ;
: shortest-text ( F: r -- ) ( -- c-addr u )
  1 entries x-nan? 1 entries @ e@ e-special = or if fbuf 3 represent 2drop drop fbuf 3 exit then
  18 1 do
    fdup fbuf i represent drop i digits-text
    ftext #ftext @ >float drop  fover 0e f~ if fdrop ftext #ftext @ unloop exit then
  loop  fdrop ftext #ftext @ ;

: f.s     ( -- )  ." <" fdepth (.) type ." > "  fdepth 0 ?do fdepth i - 1- fpick fs. loop ;
