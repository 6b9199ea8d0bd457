\ The elementary functions of FLOATING EXT.
\
\ Each works in the 64-bit form of the float stack without rounding to 53
\ bits in between (the words x+f x-f x*f x/f), whose errors are a few units
\ of the 64th bit, and rounds once at the end: the result is within one
\ unit of the last place of binary64. Arguments are reduced exactly: sine,
\ cosine and tangent by the bits of 2/pi that the argument's exponent
\ needs, the exponential by ln 2 in two parts, logarithms by the binary
\ exponent. The 64-bit constants below were computed to 2000 bits and
\ rounded; the bits of 2/pi are its binary expansion.

\ --- The 64-bit form on the float stack ---------------------------------

: x+f     ( F: r1 r2 -- r3 )  f2> x+ >ftop ;
: x-f     ( F: r1 r2 -- r3 )  fnegate x+f ;
: x*f     ( F: r1 r2 -- r3 )  f2> x* >ftop ;
: x/f     ( F: r1 r2 -- r3 )  f2> x/ >ftop ;
: xsqrtf  ( F: r1 -- r2 )  1 entries xsqrt >ftop ;
: rounded ( F: r -- r' )  1 entries fx@ round53? >ftop ;
: xconstant ( lo hi se "name" -- )  x>f fconstant ;
: fzero   ( F: -- +0 )  0 0 0 x>f ;
: fone    ( F: -- 1 )  0 sign-bit bias x>f ;
: ftwo    ( F: -- 2 )  0 sign-bit bias 1+ x>f ;
: fhalf   ( F: -- 0.5 )  0 sign-bit bias 1- x>f ;
: top-se  ( -- se ) ( F: r -- r )  1 entries @ ;
: top-e   ( -- e ) ( F: r -- r )  top-se e@ bias - ;   \ r = 1.x * 2^e
: fscale  ( n -- ) ( F: r -- r*2^n )   \ zeros, infinities and NaNs stay
  1 entries dup @ ordinary? if tuck @ + swap ! else 2drop then ;
: fsign   ( -- flag ) ( F: r -- r )  top-se 0< ;
: f-special? ( -- flag ) ( F: r -- r )  top-se ordinary? 0= ;
: f-nan?  ( -- flag ) ( F: r -- r )  1 entries x-nan? ;
: f-inf?  ( -- flag ) ( F: r -- r )  f-nan? 0= top-se e@ e-special = and ;
: f-zero? ( -- flag ) ( F: r -- r )  top-se e@ 0= ;
: fquiet  ( F: r -- r' )  1 entries fx@ quiet >ftop ;
: fnan    ( F: r -- nan )  fdrop default-nan x>f ;
: copysign ( sign -- ) ( F: r -- r' )  1 entries dup @ sign-bit invert and rot sign-bit and or swap ! ;

$D1CF79AC $B17217F7 $00003FFE xconstant ln2
$D2000000 $B17217F7 $00003FFE xconstant ln2-hi    \ 40 bits: k * ln2-hi is exact
$71319FF0 $C21950D8 $80003FD4 xconstant ln2-lo
$5C17F0BC $B8AA3B29 $00003FFF xconstant log2e
$37287195 $DE5BD8A9 $00003FFD xconstant log10e
$AAA8AC17 $935D8DDD $00004000 xconstant ln10
$2168C235 $C90FDAA2 $00004000 xconstant pi
$2168C235 $C90FDAA2 $00003FFF xconstant pi/2
$2168C235 $C90FDAA2 $00003FFE xconstant pi/4
$990E91A8 $96CBE3F9 $00004000 xconstant 3pi/4
$F9DE6484 $B504F333 $00003FFF xconstant sqrt2

\ Polynomials: a table of coefficients c0 ... cn, evaluated by Horner's rule.
: coefficient ( table i -- ) ( F: -- c )  /fentry * + fx@ x>f ;
: polynomial ( table n -- ) ( F: z -- p )   \ c0 + c1 z + ... + cn z^n
  2dup coefficient  begin dup while 1- fover x*f 2dup coefficient x+f repeat
  2drop fswap fdrop ;
: coefficients ( n "name" -- )  create /fentry * allot ;
: coefficient! ( table i -- ) ( F: c -- )  /fentry * + >r f>x r> fx! ;

\ 1/n!, and the series of sine, cosine, atanh and arctangent.
24 coefficients exp-series
12 coefficients sin-series
12 coefficients cos-series
14 coefficients atanh-series
10 coefficients atan-series
: fill-series ( -- )
  fone  24 0 do  i if i s>f x/f then  fdup exp-series i coefficient!  loop fdrop
  12 0 do
    exp-series i 2* 1+ coefficient  i 1 and if fnegate then  sin-series i coefficient!
    exp-series i 2* coefficient     i 1 and if fnegate then  cos-series i coefficient!
  loop
  14 0 do fone i 2* 1+ s>f x/f  atanh-series i coefficient! loop
  10 0 do fone i 2* 1+ s>f x/f  i 1 and if fnegate then  atan-series i coefficient! loop ;
fill-series

\ --- Helpers -------------------------------------------------------------------

: f>int   ( F: r -- ) ( -- n )  f>x 1 x-int x>d drop ;   \ to nearest
: square  ( F: r -- r*r )  fdup x*f ;
: f<?     ( F: r1 r2 -- r1 ) ( -- flag )  \ r1 < r2, keeping r1
  fover fswap f< ;
\ The special operands of most functions: a NaN gives itself quieted,
\ zeros stay; flag: the function's work is done.
: nan-or-zero? ( F: r -- r' ) ( -- flag )
  f-nan? if fquiet true exit then  f-zero? ;

\ --- Exponentials ----------------------------------------------------------

\ For |r| <= 0.35: e^r - 1 = r (1 + r/2! + r^2/3! + ...).
: expm1-series ( F: r -- e^r-1 )  fdup exp-series /fentry + 16 polynomial x*f ;
\ e^x for |x| < 1500: x = k ln2 + r, e^x = 2^k e^r.
: xexp    ( F: x -- e^x )
  fdup log2e x*f f>int >r
  r@ s>f ln2-hi x*f x-f  r@ s>f ln2-lo x*f x-f
  exp-series 17 polynomial  r> fscale ;
: below?  ( F: r1 r2 -- r1 ) ( -- flag )  fover fabs fswap f< ;   \ |r1| < r2
: xexpm1  ( F: x -- e^x-1 )  0.35e below? if expm1-series else xexp fone x-f then ;

\ Beyond these e^x is infinite or rounds to zero, and 2^k stays in range.
: exp-overflows? ( F: x -- x ) ( -- flag )  fdup 710e f< 0= ;
: exp-underflows? ( F: x -- x ) ( -- flag )  fdup -746e f< ;
: fexp    ( F: r1 -- r2 )
  nan-or-zero? if f-nan? 0= if fdrop fone then exit then
  exp-overflows? if fdrop 0 0 e-special x>f exit then
  exp-underflows? if fdrop fzero exit then
  xexp rounded ;
: fexpm1  ( F: r1 -- r2 )
  nan-or-zero? if exit then
  exp-overflows? if fdrop 0 0 e-special x>f exit then
  fdup -50e f< if fdrop fone fnegate exit then
  xexpm1 rounded ;
: falog   ( F: r1 -- r2 )  \ 10^r1 = e^(r1 ln10)
  nan-or-zero? if f-nan? 0= if fdrop fone then exit then
  fdup 309e f< 0= if fdrop 0 0 e-special x>f exit then
  fdup -324e f< if fdrop fzero exit then
  ln10 x*f xexp rounded ;

\ --- Logarithms -------------------------------------------------------------

\ ln m = 2 atanh s, s = (m-1)/(m+1), for m near 1.
: 2atanh   ( F: s -- 2atanh[s] )
  fdup square atanh-series 13 polynomial x*f 1 fscale ;
: ln-near-1 ( F: m -- ln m )  fdup fone x-f fswap fone x+f x/f 2atanh ;
\ ln x for finite x > 0: x = 2^e m with m in [sqrt 1/2, sqrt 2).
: xln     ( F: x -- ln x )
  top-e dup negate fscale
  fdup sqrt2 f< 0= if -1 fscale 1+ then
  ln-near-1  ?dup if s>f ln2 x*f x+f then ;
\ ln(1 + x) for x > -1: near 0 by 2 atanh(x/(2+x)), else from 1+x.
: xln1p   ( F: x -- ln[1+x] )
  0.29e below? if fdup ftwo x+f x/f 2atanh exit then
  fone x+f xln ;
\ A logarithm's special operands: a NaN, zero (-inf), negative (NaN), +inf.
: log-special? ( F: r -- r' ) ( -- flag )
  f-nan? if fquiet true exit then
  f-zero? if fdrop 0 0 e-special sign-bit or x>f true exit then
  fsign if fnan true exit then
  f-inf? ;
: fln     ( F: r1 -- r2 )  log-special? if exit then  xln rounded ;
: flog    ( F: r1 -- r2 )  log-special? if exit then  xln log10e x*f rounded ;
: flnp1   ( F: r1 -- r2 )
  nan-or-zero? if exit then
  fdup fone fnegate f< if fnan exit then
  fdup -1e f= if fdrop 0 0 e-special sign-bit or x>f exit then
  f-inf? if exit then
  xln1p rounded ;

\ --- Sine, cosine, tangent --------------------------------------------------

: sin-kernel ( F: r -- sin r )  fdup square sin-series 11 polynomial x*f ;   \ |r| <= pi/4
: cos-kernel ( F: r -- cos r )  square cos-series 11 polynomial ;

\ The bits of 2/pi after the binary point, 32 to a cell.
create 2/pi-bits
  $A2F9836E , $4E441529 , $FC2757D1 , $F534DDC0 , $DB629599 , $3C439041 , $FE5163AB ,
  $DEBBC561 , $B7246E3A , $424DD2E0 , $06492EEA , $09D1921C , $FE1DEB1C , $B129A73E ,
  $E88235F5 , $2EBB4484 , $E99C7026 , $B45F7E41 , $3991D639 , $835339F4 , $9C845F8B ,
  $BDF9283B , $1FF897FF , $DE05980F , $EF2F118B , $5A0A6D1F , $6D367ECF , $27CB09B7 ,
  $4F463F66 , $9E5FEA2D , $7527BAC7 , $EBE5F17B , $3D0739F7 , $8A5292EA , $6BFB5FB1 ,
  $1F8D5D08 , $56033046 , $FC7B6BAB , $F0CFBC20 , $9AF4361D ,
: big-add ( big1 big2 -- )  {: a b | c :}   \ big1 = big1 + big2
  begin a @ b @ < while 0 a grow repeat
  a @ 0 do  a i limb @ b i big-cell + fw@ >r c + fw@ r> or to c  a i limb !  loop
  c if c a grow then ;
: 2/pi-window ( j -- )   \ n1 = cells j to j+6 of 2/pi as an integer
  7 n1 !  7 0 do dup i + cells 2/pi-bits + @  n1 6 i - limb !  loop drop  n1 trim ;
\ x = m 2^e with an integer m of 53 bits. The bits of 2/pi above those in
\ the window add multiples of 4 to x * 2/pi, which do not change the
\ quadrant; 7 cells leave more than 128 bits of its fraction.
: negate4 ( big -- )  4 0 do dup i limb dup @ invert swap ! loop 1 big+ ;
: reduce  ( F: x -- r ) ( -- q )   \ x >= pi/4, finite: x = r + (q + 4i) pi/2, |r| <= pi/4
  f>x e@ bias - 52 - >r >>11  r@ 2 - 0 max 5 rshift dup >r 2/pi-window  ( m ) ( R: e j )
  n1 n2 big-copy  n2 swap big* n2 32 big-shl  n1 swap big* n1 n2 big-add
  r> 7 + 32 * r> -                                    ( s: the binary point in n1 )
  n1 over bits-at drop 3 and >r                        ( s ) ( R: q )
  n1 over 128 - bits-at  rot n1 swap 64 - bits-at     ( f0 f1 f2 f3 )
  4 n3 !  n3 3 limb ! n3 2 limb ! n3 1 limb ! n3 0 limb !
  n3 3 limb @ 0< dup if r> 1+ >r n3 negate4 then      \ a fraction above 1/2: the next quadrant
  n3 trim  n3 big0= if drop fzero r> 3 and exit then
  n3 big-top64 [ bias 63 + 128 - ] literal + x>f  pi/2 x*f  if fnegate then  r> 3 and ;
\ x's sign apart: q and r with |x| = r + q pi/2.
: reduced ( F: x -- r ) ( -- q )  fdup pi/4 f< if 0 else reduce then ;
: trig-special? ( F: r -- r' ) ( -- flag )   \ NaN, infinity (NaN) or zero (itself)
  f-special? 0= if false exit then  f-inf? if fnan then  f-nan? if fquiet then  true ;
: sincos-of ( F: r -- sin cos ) ( q -- )   \ of r + q pi/2
  fdup sin-kernel fswap cos-kernel
  dup 1 and if fswap fnegate then  2 and if fnegate fswap fnegate fswap then ;
: fsincos ( F: r1 -- r2 r3 )
  f-special? if f-inf? f-nan? or if trig-special? drop fdup exit then fone exit then
  fsign fabs reduced sincos-of  rounded fswap rounded  if fnegate then fswap ;
: fsin    ( F: r1 -- r2 )  trig-special? if exit then  fsincos fdrop ;
: fcos    ( F: r1 -- r2 )  f-special? if f-zero? if fdrop fone exit then trig-special? drop exit then
  fsincos fnip ;
: ftan    ( F: r1 -- r2 )
  trig-special? if exit then
  fsign fabs reduced sincos-of x/f rounded if fnegate then ;

\ --- Arctangents ------------------------------------------------------------

create atan-table  9 /fentry * allot
: fill-atan ( -- )
  0 0 0 x>f atan-table 0 coefficient!
  $617B6E33 $FEADD4D5 $00003FFB x>f atan-table 1 coefficient!
  $6406EB15 $FADBAFC9 $00003FFC x>f atan-table 2 coefficient!
  $26F78474 $B7B0CA0F $00003FFD x>f atan-table 3 coefficient!
  $0DDA7B45 $ED63382B $00003FFD x>f atan-table 4 coefficient!
  $F7F59F9B $8F005D5E $00003FFE x>f atan-table 5 coefficient!
  $34F70924 $A4BC7D19 $00003FFE x>f atan-table 6 coefficient!
  $C2319E74 $B8053E2B $00003FFE x>f atan-table 7 coefficient!
  $2168C235 $C90FDAA2 $00003FFE x>f atan-table 8 coefficient! ;
fill-atan
\ For 0 <= t <= 1: atan t = atan c + atan u, c = j/8 the nearest, u = (t-c)/(1+tc).
: atan-kernel ( F: t -- atan t )
  fdup 3 fscale f>int >r  r@ s>f -3 fscale            ( F: t c ) ( R: j )
  fover fover x*f fone x+f  frot frot x-f fswap x/f   ( F: u )
  fdup square atan-series 9 polynomial x*f  atan-table r> coefficient x+f ;
: xatan   ( F: x -- atan x )
  f-zero? if exit then
  fsign fabs  f-inf? if fdrop pi/2 else
  fdup fone f< if atan-kernel else fone fswap x/f atan-kernel pi/2 fswap x-f then then
  if fnegate then ;
: fatan   ( F: r1 -- r2 )  nan-or-zero? if exit then  xatan rounded ;
: fatan2  ( F: r1 r2 -- r3 )   \ the angle of the point (r2, r1)
  2 entries dup x-nan? over /fentry + x-nan? or if drop f2> nan-of >ftop exit then
  dup @ swap /fentry + @ {: sx sy :}
  fabs fswap fabs fswap
  sy e@ 0= if fdrop fdrop sx 0< if pi else fzero then else
  sx e@ 0= if fdrop fdrop pi/2 else
  sy e@ e-special = if
    fdrop fdrop sx e@ e-special = if sx 0< if 3pi/4 else pi/4 then else pi/2 then else
  sx e@ e-special = if fdrop fdrop sx 0< if pi else fzero then else
    x/f xatan  sx 0< if pi fswap x-f then
  then then then then
  sy copysign rounded ;
\ |r| <= 1, or NaN.
: arc-special? ( F: r -- r' ) ( -- flag )
  f-nan? if fquiet true exit then
  fdup fabs fone f< 0= if fdup fabs fone f= 0= if fnan true exit then then  false ;
: fasin   ( F: r1 -- r2 )   \ atan(x / sqrt((1-x)(1+x)))
  arc-special? if exit then  f-zero? if exit then
  fsign fabs  fone fover x-f fover fone x+f x*f xsqrtf x/f xatan  if fnegate then rounded ;
: facos   ( F: r1 -- r2 )   \ 2 atan(sqrt((1-x)/(1+x)))
  arc-special? if exit then
  fone fover x-f fswap fone x+f x/f xsqrtf xatan 1 fscale rounded ;

\ --- Hyperbolic functions ------------------------------------------------

: ftoo-large? ( F: r -- r ) ( -- flag )  fdup 1500e f< 0= ;   \ r >= 0
: fsinh   ( F: r1 -- r2 )   \ (E + E/(E+1))/2 with E = e^|x|-1 below 1, else (e^x - e^-x)/2
  nan-or-zero? if exit then  f-inf? if exit then
  fsign fabs ftoo-large? if fdrop 0 0 e-special x>f else
  fdup fone f< if xexpm1 fdup fdup fone x+f x/f x+f
  else xexp fdup fone fswap x/f x-f then -1 fscale then
  if fnegate then rounded ;
: fcosh   ( F: r1 -- r2 )
  f-nan? if fquiet exit then  f-zero? if fdrop fone exit then
  fabs f-inf? if exit then
  ftoo-large? if fdrop 0 0 e-special x>f exit then
  xexp fdup fone fswap x/f x+f -1 fscale rounded ;
: ftanh   ( F: r1 -- r2 )   \ t/(t+2) with t = e^2|x| - 1
  nan-or-zero? if exit then
  fsign fabs fdup 22e f< if 1 fscale xexpm1 fdup ftwo x+f x/f else fdrop fone then
  if fnegate then rounded ;
: fasinh  ( F: r1 -- r2 )   \ ln1p(a + a^2/(1 + sqrt(1 + a^2)))
  nan-or-zero? if exit then  f-inf? if exit then
  fsign fabs fdup 268435456e f< if
    fdup square fdup fone x+f xsqrtf fone x+f x/f x+f xln1p
  else xln ln2 x+f then
  if fnegate then rounded ;
: facosh  ( F: r1 -- r2 )   \ ln1p(t + sqrt(t (t+2))) with t = x-1
  f-nan? if fquiet exit then
  fdup fone f< if fnan exit then  f-inf? if exit then
  fdup 268435456e f< if
    fone x-f fdup fdup ftwo x+f x*f xsqrtf x+f xln1p
  else xln ln2 x+f then  rounded ;
: fatanh  ( F: r1 -- r2 )   \ ln1p(2a/(1-a))/2
  nan-or-zero? if exit then
  fsign fabs  fdup fone f< 0= if fone f= if 0 0 e-special x>f else default-nan x>f then
  else fdup 1 fscale fone frot x-f x/f xln1p -1 fscale then
  if fnegate then rounded ;

\ --- Powers ------------------------------------------------------------------

\ What kind of number r is: 0 not an integer, 1 an odd integer, 2 an even one.
: integer-kind ( F: r -- r ) ( -- n )
  1 entries fx@ dup ordinary? 0= if e@ if 2drop 2 else 2drop 2 then exit then
  e@ bias -  dup 0< if drop 2drop 0 exit then
  dup 63 > if drop 2drop 2 exit then
  63 swap - 3dup lost? if 3drop 0 exit then  bit-at if 1 else 2 then ;
: pow-zero ( F: x y -- r )   \ x is zero
  integer-kind 1 = fsign >r fdrop fsign fdrop     ( odd? xneg? ) ( R: yneg )
  and sign-bit and  r> if e-special or then  0 0 rot x>f ;
: pow-inf-y ( F: x y -- r )   \ y infinite
  fsign >r fdrop fabs fdup fone f= if fdrop fone rdrop exit then
  fone f< r> = if 0 0 e-special x>f else fzero then ;
: pow-inf-x ( F: x y -- r )   \ x infinite
  integer-kind 1 = fsign >r fdrop fsign fdrop and sign-bit and
  r> if 0 0 rot x>f else 0 0 rot e-special or x>f then ;
: big/u   ( big u -- )   \ big = big / u, rounded down
  {: a u :}  0  0 a @ 1- do  a i limb @ swap u (um/mod) a i limb !  -1 +loop  drop  a trim ;
: big-mul ( big1 big2 big3 -- )   \ big3 = big1 * big2
  {: a b c :}
  a @ b @ + c !  c @ 0 do 0 c i limb ! loop
  a @ 0 do
    0  b @ 0 do  a j limb @ b i limb @ um* rot 0 d+  c i j + limb @ 0 d+  swap c i j + limb !  loop
    c i b @ + limb !
  loop  c trim ;
: shr-cells ( big k -- )   \ big = big / 2^32k
  {: a k :}  a @ k > if a @ k - 0 do a i k + limb @ a i limb ! loop  a @ k - a ! else 0 a big! then ;
big p1  big p2  big p3
\ Numbers with 128 bits after the binary point, as big integers.
: fix*    ( big1 big2 big3 -- )  dup >r big-mul r> 4 shr-cells ;
26 constant #atanh-terms
create atanh-fix  #atanh-terms 6 * cells allot   \ 1/(2k+1)
: fix-term ( k -- big )  6 * cells atanh-fix + ;
: fill-atanh-fix ( -- )
  #atanh-terms 0 do
    i fix-term  5 over !  dup cell+ 4 cells erase  1 over 5 cells + !  i 2* 1+ big/u
  loop ;
fill-atanh-fix
create log2e-fix  5 , $D23A7D11 , $7D0FFDA0 , $B82FE177 , $71547652 , $00000001 ,

\ log2 x = e + log2 m, m in [sqrt 1/2, sqrt 2); log2 m = 2 atanh(s) log2 e
\ with s = (m-1)/(m+1) = A/B. A and B are the significand's 53 bits with
\ 2^52 or 2^53, so s comes from four 32-bit digits of long division.
: s-digits ( a0 a1 -- )   \ p2 = (a1:a0) 2^128 / v, four digits
  0 p2 big!  4 0 do  0 -rot digit  rot p2 32 big-shl p2 swap big+  loop 2drop ;
: log2m   ( lo hi -- negative? )   \ |log2 m| into p1, m = (lo hi) / 2^63
  >>11 2dup [ $F9DE6484 $B504F333 >>11 ] 2literal du< if          \ m below sqrt 2
    2dup 0 $100000 dsub drop 2swap 0 $100000 dadd drop  false    ( A B positive )
  else
    2dup 0 $200000 2swap dsub drop 2swap 0 $200000 dadd drop  true    ( |A| B negative )
  then >r
  \ B has 54 bits: to 64 for the division
  10 dlshift v1 ! v0 !  10 dlshift s-digits
  p2 p2 p3 fix*                                                   \ z = s^2
  #atanh-terms 1- fix-term p1 big-copy
  0 #atanh-terms 2 - do  p1 p3 n3 fix*  n3 p1 big-copy  p1 i fix-term big-add  -1 +loop
  p1 p2 n3 fix*  n3 1 big-shl  n3 log2e-fix p1 fix*  r> ;
\ |log2 x| = |e + log2 m| into p1; the flag: log2 x is negative.
: log2-fix ( F: x -- ) ( -- negative? )   \ x > 0, finite
  f>x e@ bias - >r  log2m  r> over -  ?dup 0= if exit then
  dup 0< >r  swap r@ = >r  abs p2 big!  p2 128 big-shl
  r> if p1 p2 big-add else p2 p1 big-  p2 p1 big-copy then  r> ;
\ |x|^y = 2^t, t = y log2|x| = Y |log2 x| 2^ey exactly, split into an
\ integer N and 64 bits of fraction f: 2^f 2^N.
: pow-exact ( F: x y -- r )   \ x, y finite, not zero; x not 1
  f>x dup >r e@ bias - 52 - >r >>11                  ( Y ) ( R: y-se ey )
  fabs log2-fix >r
  p1 p3 big-copy  p3 swap big*  p3 32 big-shl  p1 swap big*  p1 p3 big-add
  r> r> swap r> 0< xor >r  128 swap -                 ( p: the point in p1 ) ( R: t<0 )
  p1 big-bits over - 11 > if drop r> if fzero else 0 0 e-special x>f then exit then
  p1 over bits-at drop  swap p1 swap 64 - bits-at     ( N f-lo f-hi )
  r> if 2dup m0= if rot negate -rot else dnegate rot 1+ negate -rot then then
  2dup m0= if 2drop fone else [ bias 1- ] literal normalize x>f ln2 x*f xexp then
  fscale rounded ;
: f**     ( F: r1 r2 -- r3 )   \ r1 to the power r2
  f-zero? if fdrop fdrop fone exit then
  fover 1e f= if fdrop exit then
  2 entries dup x-nan? swap /fentry + x-nan? or if f2> nan-of >ftop exit then
  fover f-zero? fdrop if pow-zero exit then
  f-inf? if pow-inf-y exit then
  fover f-inf? fdrop if pow-inf-x exit then
  integer-kind fover fsign fdrop if                   \ x < 0
    dup 0= if drop fdrop fnan exit then  1 = else drop false then >r
  fover fabs fone f= if fdrop fdrop fone else pow-exact then  r> if fnegate then ;
