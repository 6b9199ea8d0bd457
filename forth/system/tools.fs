\ PROGRAMMING-TOOLS: looking at the stacks, memory and the dictionary;
\ conditional compilation; the control-flow stack; names.

: .s  ( -- )   \ the stack, deepest first, with its depth
  depth dup [char] < emit (.) type [char] > emit space
  0 max 0 ?do depth i - 1- pick . loop ;
: ?   ( a-addr -- )  1 ?depth @ . ;

\ DUMP: 16 bytes a line: address, bytes in hex, and as characters.
: .hex   ( u n -- )   \ u in n hex digits
  base @ >r hex 0 <# swap 0 ?do # loop #> type r> base ! ;
: .chars ( c-addr u -- )  bounds ?do i c@ dup bl 127 within 0= if drop [char] . then emit loop ;
: dump-line ( c-addr u -- )
  over 8 .hex space  2dup bounds ?do space i c@ 2 .hex loop
  16 over - 3 * 2 + spaces .chars ;
: variable-memory? ( addr u -- flag )   \ the whole range lies in variable memory
  swap data-origin -  dup vx data-origin - u< >r
  vx data-origin - swap - u> 0= r> and ;
: dump   ( addr u -- )
  2 ?depth  2dup variable-memory? 0= if -9 throw then
  begin dup while cr 2dup 16 min dump-line dup 16 min /string repeat 2drop cr ;

\ WORDS: the names of each word list in the search order, newest first.
variable column
: wrap   ( u -- )   \ room for u more characters on the line
  column @ + 78 > if cr 0 column ! then ;
: .name  ( nt -- true )
  name>string dup 1+ wrap dup 1+ column +! type space true ;
: searched-before? ( i -- flag )   \ the word list at i came earlier in the order
  dup cells context + @ swap  false swap 0 ?do over i cells context + @ = or loop nip ;
: words  ( -- )
  #order @ 0 ?do
    i searched-before? 0= if
      cr 0 column !  ['] .name  i cells context + @ traverse-wordlist
    then
  loop ;

\ Conditional compilation. [ELSE] skips words, also over lines, counting
\ the [IF]s it passes, up to the matching [ELSE] or [THEN].
: skip-word? ( level c-addr u -- level' flag )   \ flag: the skipping ends
  2dup s" [if]" str=ci if 2drop 1+ false exit then
  2dup s" [else]" str=ci if 2drop dup 1 = if drop 0 true exit then false exit then
  s" [then]" str=ci if 1- dup 0= exit then  false ;
: [else]  ( -- )
  1 begin
    begin parse-name dup while skip-word? if drop exit then repeat 2drop
    refill 0=
  until drop ; immediate
: [if]    ( flag -- )  0= if postpone [else] then ; immediate
: [then]  ( -- ) ; immediate
: [defined]   ( "<spaces>name" -- flag )  parse-name find-name 0<> ; immediate
: [undefined] ( "<spaces>name" -- flag )  parse-name find-name 0= ; immediate

\ The control-flow stack is the data stack: an orig or a dest is two cells,
\ the address and its tag. CS-PICK and CS-ROLL move whole items, and only
\ origs and dests of the definition being compiled.
: ahead   ( C: -- orig )  op-branch >mark cs-orig ; immediate compile-only
: cs-items? ( u -- u )   \ u+1 origs or dests of this definition lie under u
  sp@ cell+ over 1+ 0 do   ( u a-addr )   \ the tag of item i
    dup cell+ csp @ u< 0= if -22 throw then
    dup @ dup cs-orig = swap cs-dest = or 0= if -22 throw then
    2 cells +
  loop drop ;
: cs-pick ( C: destu ... orig0|dest0 -- destu ... orig0|dest0 destu ) ( S: u -- )
  cs-items? 2* 1+ dup >r pick r> pick ;
: cs-roll ( C: x_u ... x_0 -- x_u-1 ... x_0 x_u ) ( S: u -- )
  cs-items? 2* 1+ dup >r roll r> roll ;

\ N>R and NR> are compiled into the definition that uses them: they work
\ on its return stack.
: n>r  ( i*n +n -- ) ( R: -- j*x +n )
  postpone dup postpone begin postpone ?dup postpone while
  postpone rot postpone >r postpone 1- postpone repeat postpone >r ; immediate compile-only
: nr>  ( -- i*x +n ) ( R: j*x +n -- )
  postpone r> postpone dup postpone begin postpone ?dup postpone while
  postpone r> postpone -rot postpone 1- postpone repeat ; immediate compile-only

\ Names.
: name>interpret ( nt -- xt | 0 )  dup name>flags $20 and if drop 0 exit then name>xt ;
: name>compile   ( nt -- x xt )
  dup name>xt swap immediate? if ['] execute else ['] compile, then ;
: synonym  ( "<spaces>newname" "<spaces>oldname" -- )
  parse-name parse-name find-or-throw >r  header,
  r@ name>xt latest @ cell+ !  r@ name>flags latest @ 8 + c!  r> 9 + c@ latest @ 9 + c!
  reveal ;
