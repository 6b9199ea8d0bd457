\ DOUBLE-NUMBER: double-cell numbers, the high cell on top.

: 2constant  ( x1 x2 "<spaces>name" -- )  create , , does> 2@ ;
: 2variable  ( "<spaces>name" -- )  create 0 , 0 ,  by-2variable made-by ;
: 2literal   ( x1 x2 -- )  swap literal, literal, ; immediate compile-only

: d-      ( d1 d2 -- d3 )  dnegate d+ ;
: m+      ( d1 n -- d2 )  s>d d+ ;
: d0<     ( d -- flag )  nip 0< ;
: d0=     ( xd -- flag )  or 0= ;
: d=      ( xd1 xd2 -- flag )  rot = -rot = and ;
: d<      ( d1 d2 -- flag )  rot 2dup = if 2drop u< exit then > nip nip ;
: du<     ( ud1 ud2 -- flag )  rot 2dup = if 2drop u< exit then u> nip nip ;
: d>s     ( d -- n )  drop ;
: d2*     ( xd1 -- xd2 )  2dup d+ ;
: d2/     ( xd1 -- xd2 )  dup 1 and 31 lshift rot 1 rshift or swap 2/ ;
: dmax    ( d1 d2 -- d3 )  2over 2over d< if 2swap then 2drop ;
: dmin    ( d1 d2 -- d3 )  2over 2over d< 0= if 2swap then 2drop ;
: d.r     ( d n -- )  3 ?depth >r (d.) r> over - spaces type ;
: 2rot    ( x1 x2 x3 x4 x5 x6 -- x3 x4 x5 x6 x1 x2 )  2>r 2swap 2r> 2swap ;

\ M*/ through a triple-cell product; the quotient rounds toward zero, as
\ the other divisions of this system do, and must fit in a double.
: ut*     ( ud u -- ut )  tuck um* 2swap um* swap >r 0 d+ r> -rot ;
: ut/     ( ut u -- ud )  dup >r um/mod r> swap >r um/mod nip r> ;
: signed  ( ud flag -- d )   \ negated when flag is true; -11 when out of range
  if 0 $80000000 2over du< ?overflow dnegate exit then  dup 0< ?overflow ;
: m*/     ( d1 n1 n2 -- d2 )
  over 3 pick xor over xor 0< >r
  abs >r abs >r dabs r> ut* r> ut/  r> signed ;

\ 2VALUE: LIT addr and the code of 2@, compiled inline as a VALUE is.
: 2value  ( x1 x2 "<spaces>name" -- )
  parse-name header,  align here >r , ,  start-code
  r> literal, ['] 2@ compile, exit,  inline-latest reveal ;
' 2@ xt>name 9 + c@ 5 + constant /2value   \ the bytes it compiles
: 2value?  ( nt -- flag )
  dup /2value inline-code? swap name>xt 5 + c@p ['] 2@ c@p = and ;
: 2value-to  ( i*x nt -- )
  dup 2value? if name>xt >body state @ if literal, postpone 2! else 2! then exit then
  [ action-of to-name ] literal execute ;
' 2value-to is to-name
