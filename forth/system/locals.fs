\ LOCALS: {: ... :} and (LOCAL).
\
\ A definition with locals keeps them in a frame on the locals stack (lp,
\ below the data stack), not on the return stack, so DO loops
\ and >R work as usual inside it. The frame is made when the definition
\ comes to {: and given back before each EXIT and at ;; CATCH restores lp
\ after an exception. Local i is the cell at lp + 4 i, compiled as
\ LIT lp @ LIT 4i + @.
\
\ While the definition is compiled its locals are names in a word list of
\ their own, built in local-space and searched before the search order.
\ Each name is immediate and compile-only, and its xt is one of 16 stubs:
\ the stub for i compiles the fetch of local i, and TO finds i from it.

16 constant #max-locals
31 constant /local-name

: local-fetch, ( i -- )  lp literal, ['] @ compile,  cells ?dup if literal, ['] + compile, then  ['] @ compile, ;
: local-store, ( i -- )  lp literal, ['] @ compile,  cells ?dup if literal, ['] + compile, then  ['] ! compile, ;

: make-stub  ( i -- xt )  >r :noname r> literal, ['] local-fetch, compile, postpone ; ;
: make-stubs ( -- )  #max-locals 0 do i make-stub , loop ;
create local-stubs  make-stubs
: local-index ( nt -- i | -1 )   \ which local the name stands for, if any
  name>xt #max-locals 0 do dup i cells local-stubs + @ = if drop i unloop exit then loop drop -1 ;

\ The word list of the locals and their headers.
create local-space  1024 allot
local-space constant local-wid
variable local-here
variable declared      \ locals declared so far
variable declaring     \ between the first (LOCAL) and the last
: local-headers ( -- addr )  local-wid 8 + 64 cells + ;   \ the first header
: local-header ( c-addr u xt -- )   \ a header as the kernel lays them out
  over /local-name u> if -19 throw then
  local-here @ >r  r@ cell+ !  $A0 r@ 8 + c!  0 r@ 9 + c!  dup r@ 10 + c!
  2dup name-hash dup 18 rshift r@ 11 + c!
  local-wid thread dup @ r@ ! r@ swap !
  r@ 12 + swap dup >r move  r> r> + 12 + aligned local-here ! ;
: start-locals ( -- )
  #locals @ if -21 throw then   \ one set of locals in a definition
  0 local-wid !  0 local-wid cell+ !  local-wid 8 + 64 cells erase
  local-headers local-here !  0 declared !  true declaring ! ;
: declare-local ( c-addr u -- )
  declared @ #max-locals = if -258 throw then
  declared @ cells local-stubs + @ local-header  1 declared +! ;

\ The frame: n cells, the first ni taken from the stack (the last of them
\ from the top), the others 0.
: (frame)  ( i*x ni n -- )
  dup cells negate lp +!  lp @ lp-limit @ u< if -257 throw then
  over - cells lp @ 2 pick cells + swap erase
  lp @ over cells + swap 0 ?do 4 - tuck ! loop drop ;
: end-locals ( ni -- )
  literal, declared @ literal, ['] (frame) compile,
  declared @ #locals !  local-wid local-names !  false declaring ! ;

\ (LOCAL) takes the locals from the stack as LOCALS| does: the first one
\ declared takes the top. Its names come one at a time, so at the end the
\ stubs are dealt out again, last name first.
: next-header ( nt -- nt' )  dup 10 + c@ 12 + + aligned ;
: reverse-locals ( -- )
  local-headers declared @ 0 ?do
    declared @ i - 1- cells local-stubs + @  over cell+ !  next-header
  loop drop ;
: (local)  ( c-addr u -- )
  declaring @ 0= if start-locals then
  dup if declare-local else 2drop reverse-locals declared @ end-locals then ;

\ {: a b | c -- d :}  a and b from the stack, c set to 0; the names after
\ -- only describe what the definition leaves.
: next-token ( -- c-addr u )   \ over line ends, in a file
  begin parse-name dup 0= while 2drop refill 0= if -39 throw then repeat ;
: skip-to-:}  ( -- )  begin next-token s" :}" str= until ;
variable initialized   \ locals before |, or -1
: {:  ( "names" -- )
  start-locals  -1 initialized !
  begin next-token
    2dup s" :}" str= if 2drop true else
    2dup s" --" str= if 2drop skip-to-:} true else
    2dup s" |" str= if 2drop declared @ initialized ! false else
    declare-local false then then then
  until
  initialized @ dup 0< if drop declared @ then end-locals ; immediate compile-only

\ LOCALS| a b c |  the older form: a takes the top of the stack, so the
\ names are declared last first.
: bar-names ( "names |" -- )
  next-token 2dup s" |" str= if 2drop exit then  2>r recurse 2r> declare-local ;
: locals|  ( "names |" -- )  start-locals bar-names declared @ end-locals ; immediate compile-only

: local-to  ( i*x nt -- )
  dup local-index dup 0< if drop [ action-of to-name ] literal execute exit then
  nip state @ 0= if -14 throw then local-store, ;
' local-to is to-name
