\ FLOATING: IEEE 754 binary64 numbers, computed in software.
\
\ In memory a float is the 8 bytes of binary64, little-endian. On the
\ floating-point stack it is unpacked into three cells, so that arithmetic
\ does not take numbers apart and put them together at every step:
\   se   the sign in bit 31, the biased exponent E in bits 0-14
\   mhi  the significand's high cell, its leading 1 in bit 31
\   mlo  its low cell
\ The value is (-1)^sign * m * 2^(E - $3FFF - 63), where m = mhi:mlo lies in
\ [2^63, 2^64). E = 0 is zero (m = 0); E = $7FFF is infinity (m = 0) or a
\ NaN (m is the binary64 fraction moved to the top). Subnormal numbers are
\ kept normalised, with E below the smallest normal exponent $3C01.
\
\ Every number a program sees is rounded to binary64 (53 bits and its
\ exponent range). The arithmetic cores (x+ x* x/ xsqrt) give all 64 bits
\ with the bits they drop or'ed into the lowest (the sticky bit): rounding
\ that to 53 bits is rounding the exact result, and the functions compute
\ with the 64 bits and round once at the end.
\
\ On the data stack an unpacked float is ( lo hi se ).

$3FFF constant bias
$7FFF constant e-special      \ the E of infinities and NaNs
$3C01 constant e-normal       \ the smallest E of a normal binary64
$43FE constant e-largest      \ the largest E of a finite binary64
$80000000 constant sign-bit
: 3dup   ( x1 x2 x3 -- x1 x2 x3 x1 x2 x3 )  >r 2dup r@ -rot r> ;  inline-latest
: 3drop  ( x1 x2 x3 -- )  2drop drop ;  inline-latest

\ --- The floating-point stack: 256 entries of three cells ------------------

256 constant #floats
12 constant /fentry
create fstack  #floats /fentry * allot
here constant fp-empty
fstack constant fp-full
fp-empty fp0 !  fp-empty fp !

: fx@    ( a -- lo hi se )  dup 8 + @ swap dup 4 + @ swap @ ;  inline-latest
: fx!    ( lo hi se a -- )  tuck ! tuck 4 + ! 8 + ! ;  inline-latest
: fmove  ( a1 a2 -- )  >r fx@ r> fx! ;  inline-latest
: fp-underflow ( -- )  -45 throw ;
: fp-overflow  ( -- )  -44 throw ;
\ A flag, and ELSE-TO name: a false flag goes on at name. The checks of
\ the stack words leave this way to the word that throws: the path taken
\ every time stays straight, and copies of the inline words keep the
\ branch's target.
: else-to ( C: "name" -- ) ( flag -- )  ' op-0branch op-to, ;  immediate compile-only
\ The words marked inline-latest are copied into the words that use them.
\ The top entry, after checking that u bytes of entries are there (a
\ literal n /FENTRY * before it is one literal).
: top-bytes ( u -- a )  fp @ tuck + fp-empty 1+ u< else-to fp-underflow ;  inline-latest
: entries ( n -- a )  /fentry * top-bytes ;  inline-latest   \ after checking that n are there
: new-entry    ( a -- a' )   \ the entry below a, checked to lie in the stack
  /fentry - dup fp-full 1- u> else-to fp-overflow ;  inline-latest
: x>f     ( lo hi se -- ) ( F: -- r )  fp @ new-entry dup fp ! fx! ;  inline-latest
: f>x     ( F: r -- ) ( -- lo hi se )  /fentry top-bytes dup /fentry + fp ! fx@ ;  inline-latest
\ Two operands: a is r1's entry, b is r2's; the result goes to a, the new top.
: f2>    ( F: r1 r2 -- ) ( -- a b )  2 /fentry * top-bytes dup /fentry + dup fp ! swap ;  inline-latest
: >ftop  ( lo hi se -- ) ( F: r -- r' )  fp @ fx! ;  inline-latest

: fdepth ( -- +n )  fp-empty fp @ - /fentry / ;
: fdrop  ( F: r -- )  /fentry top-bytes /fentry + fp ! ;  inline-latest
: fdup   ( F: r -- r r )  /fentry top-bytes >r r@ fx@ r> new-entry dup fp ! fx! ;  inline-latest
: fover  ( F: r1 r2 -- r1 r2 r1 )  2 /fentry * top-bytes >r r@ /fentry + fx@ r> new-entry dup fp ! fx! ;  inline-latest
\ FSWAP and FROT exchange the entries cell by cell, each cell's values on
\ the data stack, so that no value goes under another.
: fswap  ( F: r1 r2 -- r2 r1 )
  2 /fentry * top-bytes >r
  r@ @ r@ 12 + @ r@ ! r@ 12 + !  r@ 4 + @ r@ 16 + @ r@ 4 + ! r@ 16 + !
  r@ 8 + @ r@ 20 + @ r@ 8 + ! r> 20 + ! ;  inline-latest
: frot   ( F: r1 r2 r3 -- r2 r3 r1 )
  3 /fentry * top-bytes >r
  r@ @ r@ 12 + @ r@ 24 + @ r@ ! r@ 24 + ! r@ 12 + !
  r@ 4 + @ r@ 16 + @ r@ 28 + @ r@ 4 + ! r@ 28 + ! r@ 16 + !
  r@ 8 + @ r@ 20 + @ r@ 32 + @ r@ 8 + ! r@ 32 + ! r> 20 + ! ;  inline-latest
: fnip   ( F: r1 r2 -- r2 )  fswap fdrop ;
: fpick  ( u -- ) ( F: ru ... r0 -- ru ... r0 ru )
  dup 1+ entries dup >r swap /fentry * + fx@ r> new-entry dup fp ! fx! ;  inline-latest

\ --- 64-bit significands: ( lo hi ) --------------------------------------

: dlshift ( lo hi u -- lo' hi' )   \ 0 <= u < 64
  dup 32 u< if
    dup if >r r@ lshift over 32 r@ - rshift or swap r> lshift swap else drop then
  else 32 - nip lshift 0 swap then ;  inline-latest
: drshift ( lo hi u -- lo' hi' )   \ 0 <= u < 64, zeros in
  dup 32 u< if
    dup if >r swap r@ rshift over 32 r@ - lshift or swap r> rshift else drop then
  else 32 - rshift nip 0 then ;  inline-latest
: lost?   ( lo hi u -- flag )   \ some of the u low bits are set; u < 64
  dup 32 u< if nip 1 swap lshift 1- and else 32 - 1 swap lshift 1- and or then 0<> ;  inline-latest
: sticky-bit ( x -- 0|1 )  0<> 1 and ;  inline-latest
: sticky  ( lo hi flag -- lo' hi' )  sticky-bit rot or swap ;  inline-latest
\ Shifted right with the bits that fall out or'ed into bit 0.
: drshift-jam ( lo hi u -- lo' hi' )
  dup 64 u< if 3dup lost? >r drshift r> sticky else drop or sticky-bit 0 then ;  inline-latest
: half    ( lo hi -- lo' hi' )  swap 1 rshift over 31 lshift or swap 1 rshift ;  inline-latest
: 2/jam   ( lo hi -- lo' hi' )  over 1 and >r half r> sticky ;  inline-latest
\ Sums and differences with the carry or borrow out of bit 63.
: dadd    ( lo1 hi1 lo2 hi2 -- lo hi c )  rot + fw@ >r  -rot + fw@ rot + fw@ r> or ;  inline-latest
: dsub    ( lo1 hi1 lo2 hi2 -- lo hi b )  rot swap - fw@ >r  -rot - fw@ rot swap - fw@ r> or ;  inline-latest
: normalize ( lo hi E -- lo' hi' E' )   \ m not zero: its leading 1 moved to bit 63
  >r  dup 0= if drop 0 swap r> 32 - >r then
  begin dup 0< 0= while 2dup d+ r> 1- >r repeat  r> ;  inline-latest

\ --- Rounding ----------------------------------------------------------------

: e@      ( se -- E )  e-special and ;  inline-latest
: ordinary? ( se -- flag )  e@ 1- e-special 1- u< ;  inline-latest   \ finite and not zero
: m0=     ( lo hi -- flag )  or 0= ;  inline-latest
: signed-zero ( se -- lo hi se )  sign-bit and 0 0 rot ;
: signed-inf  ( se -- lo hi se )  sign-bit and e-special or 0 0 rot ;
\ A NaN's significand has bit 62 set when it is quiet; operations on NaNs
\ give quiet NaNs, and invalid operations the one the host's processor
\ gives, negative and quiet.
: default-nan ( -- lo hi se )  0 $40000000 sign-bit e-special or ;
: quiet   ( lo hi se -- lo hi' se )  swap $40000000 or swap ;
: nan3?   ( lo hi se -- flag )  e@ e-special = -rot m0= 0= and ;  inline-latest
: x-nan?  ( a -- flag )  fx@ nan3? ;  inline-latest

: ones    ( u -- lo hi )  dup 0= if drop 0 0 exit then  64 swap - -1 -1 rot drshift ;
: bit-at  ( lo hi p -- bit )  dup 64 = if drop 2drop 0 exit then drshift drop 1 and ;
: clear-low ( lo hi p -- lo' hi' )   \ the p low bits cleared
  ones invert rot and >r invert and r> ;
\ m rounded to a multiple of 2^p (1 <= p <= 64), ties to even; c: the
\ result is 2^64.
: round-at ( lo hi p -- lo' hi' c )
  >r 2dup r@ bit-at  r@ 1- ones rot 0 dadd drop  dadd >r  r> r> swap >r clear-low r> ;

\ The exact result ( lo hi se ), finite and not zero, rounded to a format:
\ bits of precision, and the smallest and largest E of its normal numbers.
: round-to ( lo hi se bits emin emax -- lo' hi' se' )
  {: se bits emin emax :}
  64 bits -  emin se e@ - 0 max +
  dup 64 > if drop 2drop se signed-zero exit then
  round-at if 2drop 0 sign-bit  se 1+ to se then
  2dup m0= if 2drop se signed-zero exit then
  se e@ emax > if 2drop se signed-inf exit then  se ;
\ To binary64; the common case, a normal result, adds a half less one and
\ the lowest kept bit (ties to even) and clears the 11 bits below.
: round53 ( lo hi se -- lo' hi' se' )
  dup e@ e-normal - [ e-largest e-normal - ] literal u< if
    >r swap dup 11 rshift 1 and $3FF + + -2048 and swap fw@ + fw@
    if sign-bit or r> 1+ else r> then
  else 53 e-normal e-largest round-to then ;
\ A result that is zero, infinite or NaN is passed on; others are rounded.
: round53? ( lo hi se -- lo' hi' se' )
  dup e@ e-normal - [ e-largest e-normal - ] literal u< if   \ the common case, as in round53
    >r swap dup 11 rshift 1 and $3FF + + -2048 and swap fw@ + fw@
    if sign-bit or r> 1+ else r> then
  else dup ordinary? if round53 then then ;

\ --- Binary64 in memory --------------------------------------------------

: <<11    ( lo hi -- lo' hi' )  11 lshift over 21 rshift or swap 11 lshift swap ;  inline-latest
: >>11    ( lo hi -- lo' hi' )  swap 11 rshift over 21 lshift or swap 11 rshift ;  inline-latest
: unpack  ( dlo dhi -- lo hi se )
  dup sign-bit and >r  dup 20 rshift $7FF and          ( dlo dhi e ) ( R: sign )
  dup 1- $7FE u< if $3C00 + >r <<11 sign-bit or r> r> or exit then
  >r $FFFFF and r>
  if <<11 e-special r> or exit then                     \ infinity, NaN
  2dup m0= if r> exit then                              \ zero
  <<11 e-normal normalize r> or ;                       \ subnormal
: pack    ( lo hi se -- dlo dhi )   \ of a number rounded to binary64
  dup sign-bit and >r  e@                               ( lo hi E ) ( R: sign )
  dup e-normal - $7FE u< if $3C00 - 20 lshift >r >>11 $FFFFF and r> or r> or exit then
  dup 0= if drop 2drop 0 r> exit then
  dup e-special = if drop >>11 $7FF00000 or r> or exit then
  e-normal swap - drshift >>11 r> or ;                  \ subnormal
: f@-general ( lo hi e -- ) ( F: -- r )  drop unpack x>f ;
: f!-general ( f-addr lo hi se -- )  pack rot tuck cell+ ! ! ;
\ F@ and F! of a normal number go straight; the others take the words above.
: f@      ( f-addr -- ) ( F: -- r )
  2@ swap  dup 20 rshift $7FF and  dup 1- $7FE u< else-to f@-general      ( lo hi e )
  $3C00 + over sign-bit and or >r  <<11 sign-bit or r>  x>f ;
: f!      ( f-addr -- ) ( F: r -- )
  f>x  dup e@ e-normal - $7FE u< else-to f!-general                        ( f-addr lo hi se )
  dup sign-bit and swap e@ $3C00 - 20 lshift or >r  >>11 $FFFFF and r> or
  rot tuck cell+ ! ! ;
: df@     ( df-addr -- ) ( F: -- r )  f@ ;
: df!     ( df-addr -- ) ( F: r -- )  f! ;

\ binary32: 24 bits, E from $3F81 to $407E.
: sf-round ( lo hi se -- lo' hi' se' )  dup ordinary? if 24 $3F81 $407E round-to then ;
: unpack32 ( x -- lo hi se )
  dup sign-bit and >r  dup 23 rshift $FF and                ( x e ) ( R: sign )
  dup 1- $FE u< if $3F80 + >r 8 lshift sign-bit or 0 swap r> r> or exit then
  >r $7FFFFF and 0 swap 8 lshift r>
  if e-special r> or exit then
  2dup m0= if r> exit then
  $3F81 normalize r> or ;
: pack32  ( lo hi se -- x )
  dup sign-bit and >r  e@ rot drop                          ( hi E ) ( R: sign )
  dup $3F81 - $FE u< if $3F80 - 23 lshift swap 8 rshift $7FFFFF and or r> or exit then
  dup 0= if 2drop r> exit then
  dup e-special = if drop 8 rshift $7F800000 or r> or exit then
  $3F81 swap - 8 + rshift r> or ;
: sf@     ( sf-addr -- ) ( F: -- r )  @ unpack32 x>f ;
: sf!     ( sf-addr -- ) ( F: r -- )  >r f>x 3dup nan3? if quiet then sf-round pack32 r> ! ;

\ --- Arithmetic ---------------------------------------------------------

: m@      ( a -- lo hi )  dup 8 + @ swap 4 + @ ;  inline-latest
: either-special? ( a b -- flag )  @ ordinary? swap @ ordinary? and 0= ;  inline-latest
\ The NaN an operation on a NaN gives: the first operand's, quieted.
: nan-of  ( a b -- lo hi se )  over x-nan? if drop else nip then fx@ quiet ;
: nan-in? ( a b -- flag )  x-nan? swap x-nan? or ;  inline-latest

: add-m   ( lo2 hi2 lo1 hi1 se -- lo hi se )
  >r dadd if 2/jam sign-bit or r> 1+ else r> then ;  inline-latest
: sub-m   ( lo2 hi2 lo1 hi1 se -- lo hi se )
  >r 2swap dsub if dnegate r> sign-bit xor >r then
  2dup m0= if rdrop 0 else r> dup sign-bit and >r e@ normalize r> or then ;  inline-latest
: add-special ( a b -- lo hi se )
  2dup nan-in? if nan-of exit then
  over @ e@ e-special = if
    dup @ e@ e-special = if over @ over @ xor 0< if 2drop default-nan exit then then
    drop fx@ exit then
  dup @ e@ e-special = if nip fx@ exit then
  dup @ e@ 0= if   \ r2 is zero
    over @ e@ 0= if @ swap @ and signed-zero exit then
    drop fx@ exit then
  nip fx@ ;
\ The sum of the entries at a and b, exact to 64 bits with the sticky bit.
: x+      ( a b -- lo hi se )
  2dup either-special? if add-special exit then
  over @ e@ over @ e@ u< if swap then                 \ a: the larger exponent
  over @ e@ over @ e@ - >r  dup m@ r> drshift-jam     ( a b lo2 hi2 )
  2swap @ over @ xor >r  dup m@ rot @ r> 0<            ( lo2 hi2 lo1 hi1 se1 differ )
  if sub-m else add-m then ;
: fnegate ( F: r1 -- r2 )  /fentry top-bytes dup @ sign-bit xor swap ! ;  inline-latest
: fabs    ( F: r1 -- r2 )  /fentry top-bytes dup @ sign-bit invert and swap ! ;  inline-latest

\ Products: 32 x 64 bits, then 64 x 64 bits into four cells.
: x*u     ( lo hi u -- t0 t1 t2 )  tuck um* 2>r um* 0 2r> d+ ;  inline-latest
: mul64   ( a0 a1 b0 b1 -- t0 t1 t2 t3 )
  >r >r 2dup r> x*u  2>r -rot 2r> r>  >r 2swap r>  x*u
  >r >r rot + fw@ rot + r> + fw@ r> + ;  inline-latest
\ The top 64 bits of a product of two significands, with the sticky bit;
\ c: the product reached bit 127.
: top64   ( t0 t1 t2 t3 -- lo hi c )
  dup 0< 1+ dup >r                                     \ shifted left by 1 - c
  tuck lshift >r over 31 rshift over and r> or >r
  tuck lshift >r over 31 rshift over and r> or >r
  lshift or sticky-bit r> or r> r> 1 xor ;  inline-latest
: mul-special ( a b -- lo hi se )
  2dup nan-in? if nan-of exit then
  over @ over @ xor >r  @ e@ swap @ e@                 ( E2 E1 ) ( R: sign )
  2dup min 0= >r  max e-special = r>                   ( inf? zero? )
  over and if drop rdrop default-nan exit then
  r> swap if signed-inf else signed-zero then ;
: x*      ( a b -- lo hi se )
  2dup either-special? if mul-special exit then
  over @ over @ 2dup xor sign-bit and >r  e@ swap e@ + bias - >r
  m@ rot m@ mul64 top64 1 and r> + r> or ;

\ Division: a 128-bit dividend by a 64-bit divisor v (its bit 63 set), one
\ 32-bit digit of the quotient at a time.
variable v0  variable v1
: qhat    ( u1 u2 -- q )   \ the digit estimated from v's high cell: at most 2 too large
  dup v1 @ u< if v1 @ (um/mod) nip else 2drop -1 then ;
: t-      ( a0 a1 a2 b0 b1 b2 -- c0 c1 c2 borrow )
  >r rot >r dsub  r> swap - fw@ swap  r> - fw@ rot or ;
: digit   ( u0 u1 u2 -- q r0 r1 )   \ u2:u1 < v
  2dup qhat dup >r  v0 @ v1 @ rot x*u t-
  begin while  r> 1- >r  >r v0 @ v1 @ dadd r> + fw@ 0= repeat
  drop r> -rot ;
: ud/v    ( n0 n1 n2 n3 -- q0 q1 r0 r1 )  digit rot >r digit r> -rot ;
: div-special ( a b -- lo hi se )
  2dup nan-in? if nan-of exit then
  over @ over @ xor >r  @ e@ swap @ e@                 ( E2 E1 ) ( R: sign )
  2dup = if 2drop rdrop default-nan exit then
  e-special = swap 0= or  r> swap if signed-inf else signed-zero then ;
: x/      ( a b -- lo hi se )
  2dup either-special? if div-special exit then
  over @ over @ 2dup xor sign-bit and >r  e@ swap e@ swap - bias + >r
  m@ 2dup v1 ! v0 !  rot m@ 2swap                      ( m1 m2 )
  2over 2over du< 0= dup >r if dsub drop else 2drop then
  0 0 2swap ud/v m0= 0= sticky
  r> if 2/jam sign-bit or r> else r> 1- then  r> or ;
: f/      ( F: r1 r2 -- r3 )  f2> x/ round53? >ftop ;

\ Square roots: Newton's steps on 128 bits from above, s' = (s + N/s) / 2,
\ until they stop going down; then s = floor(sqrt(N)). They start from
\ (r + 1) 2^32, r at least the floor of the root of N's high 64 bits T: the
\ root of T's high cell, then one step on 64 bits, which doubles its bits.
: isqrt32 ( u -- r )  >r 0 $8000                        ( r bit ) ( R: u )
  begin dup while  2dup or  dup dup * r@ u> if drop else rot drop swap then  1 rshift  repeat
  drop rdrop ;
: isqrt128 ( n0 n1 n2 n3 -- lo hi inexact )  {: n0 n1 n2 n3 | s0 s1 :}
  n3 isqrt32 1+ 16 lshift dup if   \ r0 >= sqrt(T) > T / 2^32, so T / r0 fits a cell
    dup n2 n3 rot (um/mod) nip + fw@ 31 lshift swap 1 rshift or  1+
  then  ?dup if 0 swap else -1 -1 then  to s1 to s0
  begin
    s0 v0 ! s1 v1 !  n0 n1 n2 n3 ud/v 2drop  s0 s1 dadd >r half r> 31 lshift or
    2dup s0 s1 du<
  while to s1 to s0 repeat 2drop
  s0 s1 s0 s1 mul64  n3 <> swap n2 <> or swap n1 <> or swap n0 <> or  s0 s1 rot ;
: sqrt-special ( a -- lo hi se )
  dup x-nan? if fx@ quiet exit then
  dup @ e@ 0= if fx@ exit then
  dup @ 0< if drop default-nan exit then
  fx@ ;
: xsqrt   ( a -- lo hi se )
  dup @ dup ordinary? swap 0< 0= and 0= if sqrt-special exit then
  dup @ e@ bias - dup 1 and >r 2/ bias + swap m@ r>
  if 0 0 2swap else over 31 lshift >r half 0 r> 2swap then
  isqrt128 sticky rot ;
: fsqrt   ( F: r1 -- r2 )  1 entries xsqrt round53? >ftop ;

\ --- Integers ---------------------------------------------------------------

: d>x     ( d -- lo hi se )   \ exact
  dup 0< >r dabs 2dup m0= if rdrop 0 exit then
  [ bias 63 + ] literal normalize r> sign-bit and or ;
: d>f     ( d -- ) ( F: -- r )  d>x round53? x>f ;
: s>f     ( n -- ) ( F: -- r )  s>d d>f ;
\ Toward zero; out of range, infinite or NaN: the smallest d, as the host's
\ processor answers.
: x>d     ( lo hi se -- d )
  dup e@ bias -  dup 0< if 2drop 2drop 0 0 exit then
  dup 63 < if 63 swap - swap >r drshift r> 0< if dnegate then exit then
  2drop 2drop 0 sign-bit ;
: f>d     ( F: r -- ) ( -- d )  f>x x>d ;
: f>s     ( F: r -- ) ( -- n )  f>x x>d  over >r over s>d d= r> swap 0= if drop sign-bit then ;

\ To an integral value: mode 0 toward zero, 1 to nearest (ties to even),
\ 2 away from zero.
: increment ( lo hi p mode -- inc-lo inc-hi )
  case
    0 of drop 2drop 0 0 endof
    1 of >r r@ bit-at r@ 1- ones rot 0 dadd drop rdrop endof
    >r nip nip ones r>
  endcase ;
: x-int   ( lo hi se mode -- lo' hi' se' )  {: se mode :}
  se ordinary? 0= if se exit then
  63 se e@ bias - -  dup 0> 0= if drop se exit then
  dup 64 > if drop 2drop
    mode 2 = if 0 sign-bit se sign-bit and bias or else se signed-zero then exit then
  >r 2dup r@ mode increment dadd  r> swap >r clear-low r>
  if 2drop 0 sign-bit se 1+ exit then
  2dup m0= if 2drop se signed-zero exit then  se ;
: ftrunc  ( F: r1 -- r2 )  f>x 0 x-int x>f ;
: fround  ( F: r1 -- r2 )  f>x 1 x-int x>f ;
: floor   ( F: r1 -- r2 )  f>x dup 0< 2 and x-int x>f ;

\ --- Comparisons ---------------------------------------------------------

\ The numbers in order as signed 96-bit integers; zeros are equal.
: tnegate ( k0 k1 k2 -- k0' k1' k2' )  invert >r invert swap invert swap 1 0 dadd r> + ;
: order-key ( a -- k0 k1 k2 )
  fx@ dup e@ 0= if 2drop drop 0 0 0 exit then
  dup e@ swap 0< if tnegate then ;
: t<      ( k0 k1 k2 j0 j1 j2 -- flag )  {: k0 k1 k2 j0 j1 j2 :}
  k2 j2 <> if k2 j2 < exit then  k1 j1 <> if k1 j1 u< exit then  k0 j0 u< ;
: t=      ( k0 k1 k2 j0 j1 j2 -- flag )  {: k0 k1 k2 j0 j1 j2 :}  k0 j0 = k1 j1 = and k2 j2 = and ;
: mag<    ( a b -- flag )   \ |r1| < |r2|: exponent, then significand, unsigned
  over @ e@ over @ e@ 2dup <> if u< nip nip exit then 2drop
  over 4 + @ over 4 + @ 2dup <> if u< nip nip exit then 2drop
  8 + @ swap 8 + @ swap u< ;
: negative? ( a -- flag )  @ dup 0< swap e@ 0<> and ;  inline-latest   \ below zero
: x<      ( a b -- flag )
  2dup nan-in? if 2drop false exit then
  over negative? over negative? 2dup and if 2drop swap mag< exit then
  or if drop negative? exit then  mag< ;
: x=      ( a b -- flag )  2dup nan-in? if 2drop false exit then  >r order-key r> order-key t= ;
: f0<     ( F: r -- ) ( -- flag )  f>x 3dup nan3? if 3drop false exit then  nip dup e@ 0<> swap 0< and nip ;
: f0=     ( F: r -- ) ( -- flag )  f>x e@ 0= nip nip ;

\ FMIN and FMAX: a NaN gives way to the other number; -0 is below +0.
: mkey    ( a -- k0 k1 k2 )  dup @ e@ if order-key exit then  @ 0< dup dup ;
: take-second? ( a b xt -- flag )   \ xt ( key1 key2 -- flag ) prefers b's
  >r dup x-nan? if 2drop rdrop false exit then  over x-nan? if 2drop rdrop true exit then
  >r mkey r> mkey r> execute ;
: fmax    ( F: r1 r2 -- r3 )  f2> 2dup ['] t< take-second? if swap fmove else 2drop then ;
: t>      ( k0 k1 k2 j0 j1 j2 -- flag )  {: k0 k1 k2 j0 j1 j2 :}  j0 j1 j2 k0 k1 k2 t< ;
: fmin    ( F: r1 r2 -- r3 )  f2> 2dup ['] t> take-second? if swap fmove else 2drop then ;

\ --- Memory and definitions ------------------------------------------------

: floats  ( n1 -- n2 )  3 lshift ;
: float+  ( f-addr1 -- f-addr2 )  8 + ;
: faligned ( addr -- f-addr )  7 + -8 and ;
: falign  ( -- )  here faligned here - allot ;
: sfloats ( n1 -- n2 )  2 lshift ;
: sfloat+ ( sf-addr1 -- sf-addr2 )  4 + ;
: sfaligned ( addr -- sf-addr )  aligned ;
: sfalign ( -- )  align ;
: dfloats ( n1 -- n2 )  3 lshift ;
: dfloat+ ( df-addr1 -- df-addr2 )  8 + ;
: dfaligned ( addr -- df-addr )  faligned ;
: dfalign ( -- )  falign ;
: ffield:  ( n1 "name" -- n2 )  faligned 8 +field ;
: dffield: ( n1 "name" -- n2 )  faligned 8 +field ;
: sffield: ( n1 "name" -- n2 )  aligned 4 +field ;

: fvariable ( "name" -- )  falign create 0 , 0 ,  by-fvariable made-by ;
\ A constant keeps the unpacked number, ready for the stack.
: fconstant ( F: r -- ) ( "name" -- )  create f>x , , ,  does> fx@ x>f ;
: fvalue  ( F: r -- ) ( "name" -- )  falign create here 8 allot f!  does> f@ ;
0 0 0 x>f fvalue probe
' probe 5 + dup 1+ @p + 5 + constant fvalue-code   \ where an FVALUE's code goes on
: fvalue? ( nt -- flag )   \ made by FVALUE
  name>xt 5 + dup c@p op-branch = swap dup 1+ @p + 5 + fvalue-code = and ;
: fvalue-to ( i*x nt -- )
  dup fvalue? if name>xt >body state @ if literal, postpone f! else f! then exit then
  [ action-of to-name ] literal execute ;
' fvalue-to is to-name

\ --- Fast paths -------------------------------------------------------------

\ F+ F- F* F< F> of two normal numbers run without calls, with at most two
\ branches taken; every other case leaves by ELSE-TO for the general words
\ above. The operands are at a + /FENTRY (r1) and a (r2); a is kept on the
\ return stack, and the result goes to a + /FENTRY, the new top.
: m1@     ( -- lo1 hi1 ) ( R: a -- a )  r@ 20 + @ r@ 16 + @ ;  inline-latest
: m2@     ( -- lo2 hi2 ) ( R: a -- a )  r@ 8 + @ r@ 4 + @ ;  inline-latest
: ordinary2? ( se1 se2 -- se1 se2 flag )
  over e@ 1- e-special 1- u<  over e@ 1- e-special 1- u<  and ;  inline-latest
: normal-result? ( se -- se flag )   \ rounding goes the short way (see ROUND53)
  dup e@ e-normal - [ e-largest e-normal - ] literal u< ;  inline-latest
: round-normal ( lo hi se -- lo' hi' se' )   \ ROUND53's common case without branches
  >r swap dup 11 rshift 1 and $3FF + + -2048 and swap fw@ + fw@
  dup 31 lshift rot or swap r> + ;  inline-latest
: result! ( lo hi se -- ) ( R: a -- )  r> /fentry + dup fp ! fx! ;  inline-latest
: round-result ( lo hi se -- ) ( R: a -- )  round53? result! ;
: operands ( -- a b ) ( R: a -- )   \ for the general words: r1's entry and r2's, r2 popped
  r> dup /fentry + dup fp ! swap ;  inline-latest
\ Shifts by a computed count are slow in translated code (the carry it
\ keeps waits for the shift); the fast paths multiply by powers of two.
: powers-of-2, ( -- )  1 32 0 do dup , 2* loop drop ;
: leading-zeros, ( -- )  256 0 do 8 i begin ?dup while 1 rshift swap 1- swap repeat c, loop ;
create powers-of-2  powers-of-2,
create byte-zeros  leading-zeros,   \ the leading zeros of a byte in 8 bits
: 2^      ( n -- 2^n )  cells [ powers-of-2 ] literal + @ ;  inline-latest   \ 0 <= n < 32
\ Shifts of a significand m: right by n, m * 2^(32-n) / 2^32 with the bits
\ shifted out dropped; left by one unless bit 63 is set (m from 2^62 up).
: um>>    ( lo hi 2^[32-n] -- lo' hi' )  tuck um* >r >r um* nip r> + r> ;  inline-latest
: shift-up ( lo hi -- lo' hi' m )   \ multiplied by m, 1 or 2
  dup 0< if 1 else  2* over 31 rshift or swap 2* swap  2 then ;  inline-latest
: 64r-    ( lo2 hi2 lo1 hi1 -- lo hi )   \ m1 - m2
  rot - >r swap - fw@ r> swap - ;  inline-latest
\ m plus half r1's or r2's significand, which are fetched again rather than
\ brought up from under m.
: +m1/2   ( lo hi -- lo' hi' ) ( R: a -- a )
  r@ 16 + @ 1 rshift +  swap r@ 20 + @ 1 rshift r@ 16 + @ 31 lshift or + fw@ rot + ;  inline-latest
: +m2/2   ( lo hi -- lo' hi' ) ( R: a -- a )
  r@ 4 + @ 1 rshift +  swap r@ 8 + @ 1 rshift r@ 4 + @ 31 lshift or + fw@ rot + ;  inline-latest
\ A nonzero m shifted left until bit 63 is set, by n places.
: clz     ( x -- n )   \ the leading zeros of a nonzero cell
  dup $10000 u< dup >r  $FFFF and 1+ um* drop  r> 16 and >r
  dup $1000000 u< dup >r  $FF and 1+ um* drop  r> 8 and r> + >r
  24 rshift [ byte-zeros ] literal + c@ r> + ;  inline-latest
: lead    ( lo hi -- lo' hi' n )
  dup 0= >r  over r@ and or  swap r@ invert and swap  r> 32 and         ( lo hi n0 )
  over clz tuck + >r  2^  tuck um* drop  -rot um* rot +  r> ;  inline-latest

\ Sums. The sum m of the significands is computed from the smaller one
\ shifted with its low bits dropped, so it lies a little below the exact
\ sum (above the exact difference); rounding m is right except near a tie,
\ where the general word decides.
: general-sum ( x1 x2 -- ) ( R: a -- )  2drop  operands x+ round53? >ftop ;
: general-sum3 ( x1 x2 x3 -- ) ( R: a -- )  drop general-sum ;
: near-tie ( x1 x2 x3 -- ) ( R: a m -- )  rdrop general-sum3 ;
: sum-tail ( se lo hi -- ) ( R: a -- )   \ se: the larger operand's, + 2 for a sum, + 1 for a difference
  shift-up >r  over $7FF and $3FE - 4 u< 0= else-to near-tie
  rot r> -  normal-result? else-to general-sum3  round-normal result! ;  inline-latest
\ A borrow out of bit 63 (r2 was the larger): the difference is negated.
: borrow-out ( se lo hi b -- se' lo' hi' )
  negate >r  swap r@ xor r@ 1 and + fw@  rot r@ xor +
  rot r> sign-bit and xor -rot ;  inline-latest
\ Exponents at most one apart: the difference is exact (the operand halved
\ loses no bit), and may cancel many leading bits.
: lead-result ( se lo hi -- ) ( R: a -- )   \ m not zero
  lead >r rot r> -  normal-result? else-to round-result  round-normal result! ;  inline-latest
: exact-difference ( se loB hiB loS hiS -- ) ( R: a -- )
  dsub borrow-out  2dup m0= if 2drop drop 0 0 0 result! exit then  lead-result ;
: near-difference ( se2 se1 D -- ) ( R: a -- )
  ?dup 0= if nip m1@ m2@ exact-difference exit then
  0< if nip m1@ m2@ else drop m2@ m1@ then
  over 1 and if 2drop general-sum3 exit then  half dsub drop lead-result ;   \ B - S/2 > 0
: f+      ( F: r1 r2 -- r3 )
  2 /fentry * top-bytes >r  r@ @ r@ /fentry + @  ordinary2? else-to general-sum   ( se2 se1 )
  2dup xor 0< if                                               \ a difference
    over e@ over e@ -  dup 1+ 2 u> else-to near-difference     ( se2 se1 D )  \ D: E2 - E1
    dup 0< if  >r nip r> negate  swap 1+ swap  dup 33 u< else-to general-sum
      32 swap - 2^  m2@ rot um>>  m1@ 64r-  sum-tail exit then
    nip  swap 1+ swap  dup 33 u< else-to general-sum
    32 swap - 2^  m1@ rot um>>  m2@ 64r-  sum-tail exit
  then
  over e@ over e@ -  dup 0> if                                 \ a sum, r2 the larger
    nip  swap 2 + swap  dup 32 u< else-to general-sum
    31 swap - 2^  m1@ rot um>>  +m2/2  sum-tail exit then
  >r nip r> negate  swap 2 + swap  dup 32 u< else-to general-sum
  31 swap - 2^  m2@ rot um>>  +m1/2  sum-tail ;
: f-      ( F: r1 r2 -- r3 )  fnegate f+ ;

\ Products: the top 64 bits of the product from three of the four partial
\ products, at most 2 below the exact ones; outside the few values of the
\ low bits where that could change the rounding, they round correctly.
: general-product ( x1 x2 -- ) ( R: a -- )  2drop  operands x* round53? >ftop ;
: general-product3 ( x1 x2 x3 -- ) ( R: a -- )  drop general-product ;
: near-half ( x1 x2 -- ) ( R: a m -- )  rdrop general-product ;
\ The signs and exponents are fetched again at the end rather than carried
\ under the significand: a deep stack costs trips through the return stack.
: f*      ( F: r1 r2 -- r3 )
  2 /fentry * top-bytes >r  r@ @ r@ /fentry + @  ordinary2? else-to general-product  2drop
  r@ 16 + @ r@ 8 + @ um* nip  r@ 20 + @ r@ 4 + @ um* nip  + fw@   \ the high cells of hi1 * lo2, lo1 * hi2
  r@ 16 + @ r@ 4 + @ um*  rot +  >r + fw@ r> +             ( lo hi )   \ and hi1 * hi2
  shift-up >r  over $7FF and $3FC - 5 u< 0= else-to near-half
  r> negate  r@ @ e@ +  r@ /fentry + @ e@ +  [ bias 2 - ] literal -       ( lo hi E )
  r@ @ r@ /fentry + @ xor sign-bit and or                                   ( lo hi se )
  normal-result? else-to general-product3  round-normal result! ;

\ Comparisons of two numbers from zero up, not infinite: the borrow of
\ r1's exponent and significand less r2's.
: positive2? ( se1 se2 -- se1 se2 flag )  over e-special u<  over e-special u<  and ;  inline-latest
: less-general ( x1 x2 x3 -- flag ) ( R: a -- )
  drop 2drop  r> dup /fentry 2* + fp !  dup /fentry + swap x< ;
: greater-general ( x1 x2 x3 -- flag ) ( R: a -- )
  drop 2drop  r> dup /fentry 2* + fp !  dup /fentry + x< ;
: f<      ( F: r1 r2 -- ) ( -- flag )
  2 /fentry * top-bytes >r
  r@ 20 + @ r@ 8 + @ - fw@ nip  r@ 16 + @ r@ 4 + @ - fw@ >r swap - fw@ nip r> or
  r@ /fentry + @ r@ @  positive2? else-to less-general  - swap - 0<
  r> /fentry 2* + fp ! ;
: f>      ( F: r1 r2 -- ) ( -- flag )
  2 /fentry * top-bytes >r
  r@ 8 + @ r@ 20 + @ - fw@ nip  r@ 4 + @ r@ 16 + @ - fw@ >r swap - fw@ nip r> or
  r@ @ r@ /fentry + @  positive2? else-to greater-general  - swap - 0<
  r> /fentry 2* + fp ! ;

\ --- More comparisons -------------------------------------------------

: f=      ( F: r1 r2 -- ) ( -- flag )  f2> x= fdrop ;
: f<>     ( F: r1 r2 -- ) ( -- flag )  f= 0= ;
: f<=     ( F: r1 r2 -- ) ( -- flag )  f2> 2dup x< >r x= r> or fdrop ;
: f>=     ( F: r1 r2 -- ) ( -- flag )  f2> swap 2dup x< >r x= r> or fdrop ;
: f0>     ( F: r -- ) ( -- flag )  f>x 3dup nan3? if 3drop false exit then  nip dup e@ 0<> swap 0< 0= and nip ;
\ F~: r3 > 0, |r1-r2| < r3; r3 zero, the same encoding; r3 < 0, |r1-r2| < |r3| (|r1|+|r2|).
: f~      ( F: r1 r2 r3 -- ) ( -- flag )
  1 entries @ dup e@ 0= if drop fdrop f>x pack f>x pack d= exit then
  0< if fabs frot frot fover fover f- fabs frot fabs frot fabs f+ frot f* f< exit then
  frot frot f- fabs fswap f< ;
