\ Words beyond the kernel, compiled by the kernel's own compiler.

\ A new word list: its link to the previous one, no name, empty threads.
: wordlist  ( -- wid )
  align here  voc-link @ , 0 ,  here 64 cells dup allot erase  dup voc-link ! ;

\ Deferred words: code that fetches an xt from a cell in data space and
\ executes it. The cell's address is the LIT operand, as for CREATE.
: unset-defer  ( -- )  -21 throw ;
: defer  ( "<spaces>name" -- )
  parse-name header,  align here ['] unset-defer ,
  flash-buf 4 + !  op-lit flash-buf 3 + c!  $3F050624 flash-buf 8 + !
  flash-buf 3 + 8 code-bytes,  reveal ;
: defer@     ( xt1 -- xt2 )  >body @ ;
: defer!     ( xt2 xt1 -- )  >body ! ;
: is         ( xt "<spaces>name" -- )
  state @ if postpone ['] postpone defer! else ' defer! then ; immediate
: action-of  ( "<spaces>name" -- xt )
  state @ if postpone ['] postpone defer@ else ' defer@ then ; immediate

\ Values: LIT addr @, compiled inline.
: value  ( x "<spaces>name" -- )
  parse-name header,  align here swap ,
  flash-buf 4 + !  op-lit flash-buf 3 + c!  $3F3F0524 flash-buf 8 + !
  flash-buf 3 + 8 code-bytes,  $40 latest @ 8 + c!  6 latest @ 9 + c!  reveal ;
: to  ( x "<spaces>name" -- )
  ' >body state @ if literal, postpone ! else ! then ; immediate

: case     ( C: -- case-sys )  0 ; immediate compile-only
: of       ( C: -- of-sys )
  1+ >r postpone over postpone = postpone if postpone drop r> ; immediate compile-only
: endof    ( C: case-sys1 of-sys -- case-sys2 )  >r postpone else r> ; immediate compile-only
: endcase  ( C: case-sys -- )  postpone drop 0 ?do postpone then loop ; immediate compile-only

: roll       ( xu xu-1 ... x0 u -- xu-1 ... x0 xu )
  dup 0= if drop exit then swap >r 1- recurse r> swap ;
: [compile]  ( "<spaces>name" -- )  ' compile, ; immediate
: buffer:    ( u "<spaces>name" -- )  create allot ;
