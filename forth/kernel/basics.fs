\ Basic words: the stack, arithmetic, memory, and the exception mechanism.

-1 CONSTANT true
0  CONSTANT false
32 CONSTANT bl
4  CONSTANT cell   \ the size of a cell in address units

: ?dup  ( x -- 0 | x x )  dup if dup then ;
: min   ( n1 n2 -- n3 )   2dup > if swap then drop ;
: max   ( n1 n2 -- n3 )   2dup < if swap then drop ;
: umin  ( u1 u2 -- u3 )   2dup u> if swap then drop ;
: pick    ( xu ... x0 u -- xu ... x0 xu )  1+ cells sp@ + @ ;
PRIM: bounds  ( c-addr u -- c-addr+u c-addr )  OVER + SWAP ;
PRIM: /string ( c-addr1 u1 n -- c-addr2 u2 )   SWAP OVER - >R + R> ;

\ Memory
: cmove   ( c-addr1 c-addr2 u -- )   \ low addresses first
  0 ?do over i + c@ over i + c! loop 2drop ;
: cmove>  ( c-addr1 c-addr2 u -- )   \ high addresses first
  begin dup while 1- >r over r@ + c@ over r@ + c! r> repeat drop 2drop ;
: move    ( addr1 addr2 u -- )  >r 2dup u< if r> cmove> else r> cmove then ;
: fill    ( c-addr u char -- )  -rot bounds ?do dup i c! loop drop ;
: erase   ( addr u -- )  0 fill ;
: place   ( c-addr1 u c-addr2 -- )   \ a counted string at c-addr2
  2dup c! 1+ swap move ;
: str=    ( c-addr1 u1 c-addr2 u2 -- flag )   \ the same characters
  rot over <> if drop 2drop false exit then
  0 ?do over i + c@ over i + c@ <> if 2drop false unloop exit then loop
  2drop true ;

\ Program memory to variable memory, a cell at a time.
: pmove   ( paddr addr u -- )  0 ?do over i + @p over i + ! 4 +loop 2drop ;

\ The input stack: the current source's record is saved there while
\ EVALUATE or INCLUDE-FILE reads another.
: frame     ( n -- addr )  /frame * input-stack + ;
: pop-input ( -- )  -1 #input +!  #input @ frame source-record /frame cmove ;
: unwind-input ( n -- )   \ back to n saved sources
  begin dup #input @ u< while pop-input repeat drop ;

\ The floating-point stack's pointer, and where it starts empty (set by
\ the floating-point words when they are compiled).
VARIABLE fp
VARIABLE fp0

\ Exceptions. A CATCH frame on the return stack holds the data stack
\ pointer, the floating-point stack pointer, the locals frame, the previous
\ CATCH frame and the depth of the input stack; THROW returns to the
\ innermost one with all restored.
DEFER no-catch   ( n -- )   \ an exception with no CATCH to take it

\ Notes where an exception happened, for the message that reports it: the
\ word, or the file of the file operation that just failed with n.
: keep-text  ( c-addr1 u1 buf max -- buf u2 )   \ a copy, cut to max characters
  rot min >r tuck r@ move r> ;
: record-error ( n -- n )
  last-word 2@ err-word-buf 255 keep-text err-word 2!
  src-name 2@ err-name-buf /zname keep-text err-name 2!  line# @ err-line !
  dup file-ior @ = if file-ior-name 2@ err-word 2! then  0 file-ior ! ;

: rethrow  ( k*x n -- k*x | i*x n )   \ THROW, keeping the place already noted
  dup 0= if drop exit then
  handler @ 0= if no-catch then
  handler @ rp!  r> unwind-input  r> handler !  r> lp !  r> fp !  r> swap >r  sp! drop  r> ;

: throw  ( k*x n -- k*x | i*x n )  dup if record-error rethrow then drop ;

\ The stacks are checked before code that can recurse: RECURSE, EXECUTE
\ and the deferred words as the compiler compiles them, and CATCH. Each
\ stack has a guard region past its limit, so that what runs between two
\ checks does no harm.
: stacks-overflow ( -- )  sp-limit @p sp@ u< if -5 throw then  -3 throw ;
: stacks-ok?  ( -- flag )  sp-limit @p sp@ u<  rp-limit @p rp@ u< and ;

: catch  ( i*x xt -- j*x 0 | i*x n )
  stacks-ok? 0= if stacks-overflow then
  sp@ >r  fp @ >r  lp @ >r  handler @ >r  #input @ >r  rp@ handler !
  execute
  rdrop  r> handler !  rdrop rdrop rdrop  0 ;

\ Words that print test their arguments first: an empty stack is an
\ underflow, not a number read from below the stack and printed.
: ?depth  ( u -- )  1+ cells sp@ + sp0 u> if -4 throw then ;

: push-input ( -- )
  #input @ #frames = if -256 throw then
  source-record #input @ frame /frame cmove  1 #input +!  false src-own ! ;

\ Division. UM/MOD is the machine's, but with its arguments tested: a zero
\ divisor throws -10, a quotient that does not fit -11. One test covers
\ both (the high cell below the divisor), so the usual path pays for one
\ comparison. The signed forms build on it and test the quotient's sign.
: ?overflow ( flag -- )  if -11 throw then ;
: division-fault ( u -- )  0= if -10 throw then -11 throw ;
: um/mod  ( ud u1 -- u2 u3 )  2dup u< if (um/mod) exit then  nip nip division-fault ;
: dabs    ( d -- ud )  dup 0< if dnegate then ;
: sm/rem  ( d1 n1 -- n2 n3 )   \ symmetric: the quotient rounds toward zero
  2dup xor >r  over >r          ( d1 n1 ) ( R: qsign rsign )
  abs >r dabs r> um/mod         ( urem uquot )
  r> 0< if swap negate swap then
  r> 0< if dup $80000000 u> ?overflow negate exit then  dup 0< ?overflow ;
: fm/mod  ( d1 n1 -- n2 n3 )   \ floored: the quotient rounds toward minus infinity
  dup >r sm/rem
  over dup 0<> swap 0< r@ 0< xor and
  if dup $80000000 = ?overflow 1- swap r> + swap else rdrop then ;
: m*      ( n1 n2 -- d )   2dup xor >r abs swap abs um* r> 0< if dnegate then ;
: /mod    ( n1 n2 -- n3 n4 )   \ two that are not negative: one unsigned division
  2dup or 0< if >r s>d r> sm/rem exit then  dup 0= if -10 throw then  0 swap (um/mod) ;
: /       ( n1 n2 -- n3 )      /mod nip ;
: mod     ( n1 n2 -- n3 )      /mod drop ;
: */mod   ( n1 n2 n3 -- n4 n5 )  >r m* r> sm/rem ;
: */      ( n1 n2 n3 -- n4 )   */mod nip ;

