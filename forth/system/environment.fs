\ ENVIRONMENT? answers from a word list of its own: each query is a word
\ that leaves the answer.
wordlist constant environment-wordlist
environment-wordlist current !
: /COUNTED-STRING     ( -- n )  255 ;
: /HOLD               ( -- n )  128 ;
: /PAD                ( -- n )  1024 ;
: ADDRESS-UNIT-BITS   ( -- n )  8 ;
: FLOORED             ( -- flag )  false ;
: MAX-CHAR            ( -- u )  255 ;
: MAX-D               ( -- d )  -1 $7FFFFFFF ;
: MAX-N               ( -- n )  $7FFFFFFF ;
: MAX-U               ( -- u )  -1 ;
: MAX-UD              ( -- ud )  -1 -1 ;
: RETURN-STACK-CELLS  ( -- n )  128 ;
: STACK-CELLS         ( -- n )  128 ;
forth-wordlist current !

: environment?  ( c-addr u -- false | i*x true )
  2dup name-hash environment-wordlist search-thread nip nip nip
  ?dup if name>xt execute true else false then ;
