\ CORE EXT: the words beyond the kernel, compiled by the kernel's own
\ compiler.

: on   ( a-addr -- )  true swap ! ;    \ as in WARNINGS ON
: off  ( a-addr -- )  false swap ! ;

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

\ The latest word is compiled as a copy of its code (up to its EXIT).
: inline-latest  ( -- )
  $40 latest @ 8 + c!  code-here last-xt @ - 1- latest @ 9 + c! ;

\ Values: LIT addr @, compiled inline. TO finds the cell through the LIT.
: value  ( x "<spaces>name" -- )
  parse-name header,  align here swap ,
  flash-buf 4 + !  op-lit flash-buf 3 + c!  $3F3F0524 flash-buf 8 + !
  flash-buf 3 + 8 code-bytes,  $40 latest @ 8 + c!  6 latest @ 9 + c!  reveal ;
DEFER to-name  ( i*x nt -- )   \ TO for the word nt: stores, or compiles the store
: inline-code?  ( nt u -- flag )   \ compiled as its u bytes of code
  over name>flags $40 and 0<> -rot swap 9 + c@ = and ;
: value?  ( nt -- flag )  dup 6 inline-code? swap name>xt 5 + c@p $24 = and ;
: (to-name)  ( x nt -- )
  dup value? 0= if -32 throw then
  name>xt >body state @ if literal, postpone ! else ! then ;
' (to-name) is to-name
: to  ( i*x "<spaces>name" -- )  parse-name find-or-throw to-name ; immediate

: case     ( C: -- case-sys )  0 cs-case ; immediate compile-only
: of       ( C: -- of-sys )   \ within a CASE: after it, or after an ENDOF
  cs-tag dup cs-case = swap cs-endof = or 0= if -22 throw then
  postpone over postpone =  op-0branch >mark cs-of  postpone drop ; immediate compile-only
: endof    ( C: of-sys -- endof-sys )
  cs-of ?cs  op-branch >mark swap >resolve cs-endof ; immediate compile-only
: endcase  ( C: case-sys endof-sys* -- )
  postpone drop  begin cs-tag cs-endof = while cs-endof ?cs >resolve repeat
  cs-case ?cs drop ; immediate compile-only

: roll       ( xu xu-1 ... x0 u -- xu-1 ... x0 xu )
  dup 0= if drop exit then swap >r 1- recurse r> swap ;
: [compile]  ( "<spaces>name" -- )  ' compile, ; immediate
: buffer:    ( u "<spaces>name" -- )  create allot ;

\ MARKER name: name forgets itself and everything defined after it. It
\ keeps the pointers of the dictionary and the search order; the word
\ lists that remain lose the names laid down since.
: dictionary-state  ( -- x1 ... x7 )
  here code-here latest @ last-xt @ voc-link @ current @ included-list @ ;
: forget-names  ( wid -- )   \ its threads, without names at or above here
  8 + 64 cells bounds do
    i begin dup @ dup here u< 0= while @ over ! repeat 2drop
  4 +loop ;
: marker  ( "<spaces>name" -- )
  dictionary-state  create  7 0 do , loop  #order @ ,  context 16 cells here over allot swap move
  does> ( a-addr -- )
    dup @ included-list !  cell+ dup @ current !  cell+ dup @ voc-link !
    cell+ dup @ last-xt !  cell+ dup @ latest !  cell+ dup @ cp !  cell+ dup @ dp !
    cell+ dup @ #order !  cell+ context 16 cells move
    voc-link @ begin ?dup while dup forget-names @ repeat ;

\ FORGET name: name and everything defined after it go, as with a marker
\ made just before name. The system's own words stay (fence).
variable fence
: drop-newer ( a-addr -- )   \ a chain of records, newest first
  begin dup @ here u< 0= while dup @ @ over ! repeat drop ;
: keep-order ( -- )   \ the search order without the word lists that went
  0 #order @ 0 ?do
    i cells context + @ dup here u< if over cells context + ! 1+ else drop then
  loop #order ! ;
: forget  ( "<spaces>name" -- )
  parse-name find-or-throw  dup fence @ u< if -15 throw then
  dup name>xt 4 - cp !  dp !
  voc-link drop-newer  included-list drop-newer
  voc-link @ begin ?dup while dup forget-names @ repeat
  current @ here u< 0= if forth-wordlist current ! then  keep-order
  -1 current @ older-name dup latest !  dup if name>xt then last-xt ! ;

\ S\": a string with escapes: \a \b \e \f \l \m \n \q \r \t \v \z \" \\
\ and \x with two hex digits. \n is LF, as on the host; \m is CR LF.
: next-char  ( -- char )   \ the next character of the source, 0 at its end
  /source if c@ 1 >in +! else drop 0 then ;
: hex-digit  ( char -- u )
  upc [char] 0 - dup 9 > if 7 - dup 10 < if drop 16 then then
  dup 15 u> if -24 throw then ;
: add-char  ( c-addr n char -- c-addr n+1 )
  >r 2dup + r> swap c! 1+ ;
: add-escape  ( c-addr n -- c-addr n' )
  next-char case
    [char] a of 7 add-char endof
    [char] b of 8 add-char endof
    [char] e of 27 add-char endof
    [char] f of 12 add-char endof
    [char] l of #lf add-char endof
    [char] m of #cr add-char #lf add-char endof
    [char] n of #lf add-char endof
    [char] q of [char] " add-char endof
    [char] r of #cr add-char endof
    [char] t of 9 add-char endof
    [char] v of 11 add-char endof
    [char] z of 0 add-char endof
    [char] x of next-char hex-digit 4 lshift next-char hex-digit or add-char endof
    >r r@ add-char r>
  endcase ;
: escaped-chars ( c-addr 0 "ccc<quote>" -- c-addr u )
  begin /source nip while
    next-char dup [char] " = if drop exit then
    dup [char] \ = if drop add-escape else add-char then
  repeat ;
: parse-escaped  ( "ccc<quote>" -- c-addr u )   \ in the heap: never longer than its source
  /source nip system-allocate ?dup 0= if -18 throw then
  0 ['] escaped-chars catch ?dup if >r drop system-free r> throw then ;
: s\"  ( "ccc<quote>" -- c-addr u )
  parse-escaped state @ if over >r sliteral r> system-free else keep-string then ; immediate

\ SAVE-INPUT and RESTORE-INPUT: the position in the source. A file goes
\ back to the line by its file position; a string or the terminal line
\ can only go back within the line being read; blocks go back to the
\ block and the place in it.
: save-input  ( -- x1 ... x6 6 )  blk @ line-pos @ line# @ >in @ source drop source-id 6 ;
: restore-line  ( pos line in -- flag )   \ of the file being read
  rot 0 source-id reposition-file if 2drop true exit then
  refill-file 0= if 2drop true exit then
  >in ! line# ! false ;
: restore-block  ( blk pos line in addr -- flag )
  drop nip nip swap blk ! >in ! false ;
: restore-input  ( x1 ... xn n -- flag )
  dup 6 <> if 0 ?do drop loop true exit then drop
  source-id <> if 2drop 2drop drop true exit then
  4 pick 0= blk @ 0= <> if 2drop 2drop drop true exit then
  blk @ if restore-block exit then  4 roll drop
  source-id 0> if drop restore-line exit then
  source drop <> >r  swap line# @ <> r> or if 2drop true exit then
  >in ! drop false ;
