\ ENVIRONMENT? answers from a word list of its own: each query is a word
\ that leaves the answer. The word sets are answered as they are here:
\ each whole, with its extensions.
wordlist constant environment-wordlist
latest @ environment-wordlist cell+ !
environment-wordlist current !
: /COUNTED-STRING     ( -- n )  255 ;
: /HOLD               ( -- n )  /hold ;
: /PAD                ( -- n )  /pb ;
: ADDRESS-UNIT-BITS   ( -- n )  8 ;
: FLOORED             ( -- flag )  false ;
: MAX-CHAR            ( -- u )  255 ;
: MAX-D               ( -- d )  -1 $7FFFFFFF ;
: MAX-N               ( -- n )  $7FFFFFFF ;
: MAX-U               ( -- u )  -1 ;
: MAX-UD              ( -- ud )  -1 -1 ;
: RETURN-STACK-CELLS  ( -- n )  rp0 rp-limit @p - 2 rshift ;
: STACK-CELLS         ( -- n )  sp0 sp-limit @p - 2 rshift ;
: #LOCALS             ( -- n )  #max-locals ;
: WORDLISTS           ( -- n )  #context ;
: BLOCK               ( -- flag )  true ;
: BLOCK-EXT           ( -- flag )  true ;
: CORE                ( -- flag )  true ;
: CORE-EXT            ( -- flag )  true ;
: DOUBLE              ( -- flag )  true ;
: DOUBLE-EXT          ( -- flag )  true ;
: EXCEPTION           ( -- flag )  true ;
: EXCEPTION-EXT       ( -- flag )  true ;
: FACILITY            ( -- flag )  true ;
: FACILITY-EXT        ( -- flag )  true ;
: FILE                ( -- flag )  true ;
: FLOATING            ( -- flag )  true ;
: FLOATING-EXT        ( -- flag )  true ;
: FLOATING-STACK      ( -- n )  #floats ;
: MAX-FLOAT           ( F: -- r )  -2048 -1 e-largest x>f ;
: FILE-EXT            ( -- flag )  true ;
: LOCALS              ( -- flag )  true ;
: LOCALS-EXT          ( -- flag )  true ;
: MEMORY-ALLOC        ( -- flag )  true ;
: MEMORY-ALLOC-EXT    ( -- flag )  true ;
: SEARCH-ORDER        ( -- flag )  true ;
: SEARCH-ORDER-EXT    ( -- flag )  true ;
: STRING              ( -- flag )  true ;
: STRING-EXT          ( -- flag )  true ;
: TOOLS               ( -- flag )  true ;
: TOOLS-EXT           ( -- flag )  true ;
forth-wordlist current !

: environment?  ( c-addr u -- false | i*x true )
  environment-wordlist search-wordlist if execute true else false then ;
