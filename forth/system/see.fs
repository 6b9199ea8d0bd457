\ SEE: a word shown as Forth source, decompiled from the code that the
\ compiler made for it. Compiled again, the text gives the same code.
\
\ That code has few shapes, and SEE reads each back: a CALL is the name of
\ the word called (POSTPONE name when that word is immediate); a run of
\ opcodes that is the code of a primitive is the primitive (the longest
\ such run); LIT is a number, ['] name when it is the xt of a word, the
\ name of a word whose body it is, a C" string; LIT LIT is an S" string
\ (S\" when it has bytes that cannot be quoted, ." or ABORT" before TYPE
\ or the ABORT" check); the branches are IF ELSE THEN, BEGIN WHILE REPEAT
\ UNTIL AGAIN and AHEAD; the set-up and steps of counted loops are DO ?DO
\ LOOP +LOOP LEAVE; and so on for DOES>, locals, and the stack check
\ before RECURSE, EXECUTE and deferred words. A word that is not a colon
\ definition is shown by the defining word that made it.
\
\ Both lists of shapes are tables: SEE-SHAPE adds a shape of code, SEE-KIND
\ a kind of word, each tried before those added earlier.

\ Reading code
: op@      ( a -- op )  c@p ;
: operand  ( a -- x )  1+ @p ;
: /ins     ( a -- u )  op@ 5 u< if 5 else 1 then ;   \ CALL to LIT have a cell after them
: next-ins ( a -- a' )  dup /ins + ;
: target   ( a -- a' )  dup operand + 5 + ;
: skip     ( a n -- a' )  0 ?do next-ins loop ;
: ops?     ( a pattern -- flag )   \ the instructions from a have the pattern's opcodes
  count bounds ?do dup op@ i c@ <> if drop false unloop exit then next-ins loop drop true ;
: opcode-named ( c-addr u -- op )   \ by its mnemonic in the one opcode table
  mnemonics 64 0 do
    2over 2over 2dup bl scan nip - str= if 2drop 2drop i unloop exit then
    bl scan 1 /string
  loop -13 throw ;
: ops:     ( "name" "mnemonics<eol>" -- )   \ a counted string of the opcodes named
  create here 0 c,  begin parse-name dup while
    opcode-named c,  dup c@ 1+ over c!
  repeat 2drop drop ;

\ The code's shapes, as opcodes
ops: do-ops         SWAP LIT + DUP >R SWAP - >R
ops: ?do-ops        OVER OVER - 0BRANCH
ops: lit-do-ops     LIT >R LIT >R
ops: loop-ops       NBRANCH RDROP
ops: step-ops       R> LIT - >R FW@ 0BRANCH RDROP RDROP
ops: back-step-ops  R> LIT + >R FW@ 0BRANCH RDROP RDROP
ops: +loop-ops      DUP LIT RSHIFT SWAP R> SWAP - >R FW@ XOR 0BRANCH RDROP RDROP
ops: ?do-end-ops    BRANCH DROP DROP
ops: leave-ops      RDROP RDROP BRANCH
ops: check-ops      LIT @P SP@ U< 0BRANCH LIT @P RP@ U< 0BRANCH
ops: frame-ops      LIT LIT CALL
ops: unframe-ops    LIT LIT SWAP OVER @ + SWAP !
ops: offset-ops     LIT +
ops: pair-ops       LIT LIT
ops: execute-ops    >R EXIT
ops: flit-ops       LIT LIT LIT

\ The words of the code's shapes
: named    ( xt -- nt | 0 )   \ the word whose code starts at xt
  dup 4 code-limit within 0= if drop 0 exit then
  dup 4 - @p  dup data-origin here within 0= if 2drop 0 exit then
  dup 3 and if 2drop 0 exit then
  tuck name>xt = and ;
: calls?   ( a xt -- flag )  over target = swap op@ op-call = and ;
: jumps?   ( a xt -- flag )   \ a CALL or, at the end of a definition, a BRANCH to xt
  over target = swap op@ dup op-call = swap op-branch = or and ;

\ The definition being shown
variable start      \ its first instruction
variable end        \ after its last
variable reach      \ the farthest forward branch so far
: extend   ( a -- )  reach @ umax reach ! ;
: inside?  ( a -- flag )  start @ end @ within ;
: does-at? ( a -- flag )  dup op@ op-lit = swap next-ins ['] (does) jumps? and ;
: forward? ( a -- flag )   \ BRANCH or 0BRANCH to a later address
  dup op@ dup op-branch = swap op-0branch = or  swap dup target u< and ;
: transfer? ( a -- flag )  op@ dup op-exit = swap op-branch = or ;
: code=   ( a1 a2 u -- flag )
  0 ?do over i + c@p over i + c@p <> if 2drop false unloop exit then loop 2drop true ;
\ A copy of inline code: the same instructions, and its branches that leave
\ the code go where the original's go (the compiler relocates them).
: same-ins? ( a1 a2 -- flag )   \ a1 in the copy, a2 in the original
  over op@ over op@ <> if 2drop false exit then
  over operand over operand =  over op@ 5 u< 0= or if 2drop true exit then
  dup op@ 4 u< if target swap target = exit then  2drop false ;
: copy=   ( a1 a2 u -- flag )
  bounds ?do  dup i same-ins? 0= if drop unloop false exit then  next-ins  i /ins +loop
  drop true ;
\ Float words compiled inline have branches of their own: SEE reads each
\ such copy as one unit.
create inline-runs
  ' fdup , ' fdrop , ' fover , ' fswap , ' frot , ' fpick , ' fnegate , ' fabs , ' x>f , 0 ,
: run-at ( a -- nt | 0 )   \ a float word compiled inline starts at a
  inline-runs begin dup @ while
    2dup @ dup xt>name 9 + c@  2 pick over + code-here u> if 2drop drop else
    copy= if nip @ xt>name exit then then  cell+
  repeat 2drop 0 ;
: next-unit ( a -- a' )  dup run-at ?dup if 9 + c@ + else next-ins then ;
: code-end ( a -- a' )   \ after the EXIT or BRANCH that no forward branch passes
  dup reach !
  begin
    dup does-at? if dup operand extend then
    dup forward? if dup target extend then
    dup transfer? over reach @ u< 0= and if next-ins exit then
    next-unit  dup code-here u< 0= over start @ - 8192 u> or
  until ;
: each-ins ( xt -- )   \ runs xt ( a -- ) for each instruction
  >r start @ begin dup end @ u< while dup r@ execute next-unit repeat drop rdrop ;

\ The branches of the definition (BRANCH, 0BRANCH, NBRANCH), listed once.
256 constant #most-jumps
create jumps  #most-jumps cells allot
variable #jumps
: jump@    ( i -- a )  cells jumps + @ ;
: (list-jump) ( a -- )
  dup op@ 1 4 within #jumps @ #most-jumps u< and
  if jumps #jumps @ cells + !  1 #jumps +! else drop then ;
: list-jumps ( -- )  0 #jumps !  ['] (list-jump) each-ins ;
: jump-at? ( a -- flag )  false #jumps @ 0 ?do over i jump@ = or loop nip ;
: jump?    ( a -- flag )  op@ dup op-branch = swap op-0branch = or ;

\ What each branch is. Those that the loops, LEAVE, ?DO, RECURSE and tail
\ calls compile are told apart first; a backward jump ends a BEGIN loop; a
\ forward 0BRANCH that leaves a loop it is in is a WHILE, else an IF; a
\ forward BRANCH after which an IF or a WHILE lands is an ELSE, else AHEAD.
: step-branch? ( a -- flag )   \ the 0BRANCH of a +LOOP
  dup 9 - dup step-ops ops? swap back-step-ops ops? or  swap 14 - +loop-ops ops? or ;
: tail-recurse? ( a -- flag )  dup target start @ =  swap 26 - check-ops ops? and ;
: leave-branch? ( a -- flag )  2 - leave-ops ops? ;
: ?do-branch? ( a -- flag )  3 - ?do-ops ops? ;
: ?do-end? ( a -- flag )  dup ?do-end-ops ops? swap operand 2 = and ;
: loop-end? ( a -- flag )   \ UNTIL, AGAIN or REPEAT
  dup jump? 0= if drop false exit then
  dup target over u> if drop false exit then
  dup step-branch? over tail-recurse? or if drop false exit then
  target inside? ;
: encloses? ( a q -- flag )   \ q ends a loop that a lies in, and a jumps past q
  2dup u< 0= if 2drop false exit then
  dup loop-end? 0= if 2drop false exit then
  over target over u> >r  target u< 0= r> and ;
: exits-loop? ( a -- flag )  false #jumps @ 0 ?do over i jump@ encloses? or loop nip ;
: forward-0branch? ( a -- flag )
  dup op@ op-0branch = over forward? and swap ?do-branch? 0= and ;
: while-at? ( a -- flag )  dup forward-0branch? swap exits-loop? and ;
: if-at?   ( a -- flag )  dup forward-0branch? swap exits-loop? 0= and ;
: repeat-branch? ( a -- flag )  dup op@ op-branch = swap loop-end? and ;
: resolves? ( q p -- flag )   \ q is a REPEAT for p, a WHILE of its loop landing after it
  over repeat-branch? 0= if 2drop false exit then
  dup while-at? 0= if 2drop false exit then
  2dup target swap 5 + <> if 2drop false exit then
  over target over u> 0= >r  swap u< r> and ;
: repeat-at? ( q -- flag )   \ a BRANCH back that a WHILE of its loop lands after
  false #jumps @ 0 ?do over i jump@ resolves? or loop nip ;
: repeat-resolved? ( p -- flag )   \ a WHILE that a REPEAT resolves
  dup target 5 - dup jump-at? 0= if 2drop false exit then  swap resolves? ;
: open-orig? ( a -- flag )   \ an IF, or a WHILE that THEN or ELSE resolves
  dup if-at? if drop true exit then  dup while-at? swap repeat-resolved? 0= and ;
: forward-branch? ( a -- flag )   \ not a tail call, LEAVE, or the way around a ?DO
  dup op@ op-branch = over forward? and 0= if drop false exit then
  dup target inside? 0= if drop false exit then
  dup leave-branch? swap ?do-end? or 0= ;
: lands-at ( a xt -- n )   \ how many branches that xt ( a -- flag ) accepts land at a
  0 #jumps @ 0 ?do  over i jump@ dup rot execute swap target 4 pick = and 1 and +  loop nip nip ;
: else-at? ( a -- flag )
  dup forward-branch? 0= if drop false exit then  5 + ['] open-orig? lands-at 0<> ;
: ahead-at? ( a -- flag )  dup forward-branch? swap else-at? 0= and ;
: orig-at? ( a -- flag )  dup open-orig? over else-at? or swap ahead-at? or ;

\ Labels: where structures begin and end.
: thens   ( a -- n )   \ origs resolved at a, but for the one an ELSE before it took
  dup ['] orig-at? lands-at  over 5 - dup jump-at? if else-at? if 1- then else drop then nip ;
: begins  ( a -- n )  ['] loop-end? lands-at ;
: loop-target? ( a -- flag )   \ the start of a counted loop's body
  false #jumps @ 0 ?do
    i jump@ dup op@ op-nbranch = over step-branch? or swap target 3 pick = and or
  loop nip ;
variable span     \ a run of code that no branch may enter
: entered? ( a u -- flag )
  over + span !  false #jumps @ 0 ?do
    i jump@ target  2 pick 1+ span @ within or
  loop nip ;

\ Printing, with the structures indented
variable indent
variable column
variable break       \ the next word starts a new line
: nl      ( -- )  cr indent @ 2* dup spaces column !  false break ! ;
: room    ( u -- )  column @ + 76 > if nl then ;
: tok     ( c-addr u -- )
  break @ if nl then  dup room  dup 1+ column +! type space ;
: tok-n   ( n -- )  (.) tok ;
: fresh   ( -- )  column @ indent @ 2* > if nl then ;
: opens   ( c-addr u -- )  tok 1 indent +! true break ! ;
: starts  ( c-addr u -- )  fresh opens ;
: closes  ( c-addr u -- )  -1 indent +! nl tok true break ! ;
: middle  ( c-addr u -- )  -1 indent +! nl tok 1 indent +! true break ! ;
: .name-of ( xt -- )   \ the name, or the address of code without one
  dup named ?dup if nip name>string tok exit then
  base @ >r hex 0 <# #s [char] $ hold #> r> base ! tok  s" execute" tok ;
: .called ( xt -- )   \ a word called: an immediate one was postponed
  dup named ?dup if immediate? if s" postpone" tok then then .name-of ;
: .mnemonic ( op -- )   \ from the one opcode table
  mnemonics rot 0 ?do bl scan 1 /string loop 2dup bl scan nip - tok ;

\ Strings, quoted as the word that compiled them takes them, or with S\"
\ escapes (\" \\ \xHH) when they hold a quote or bytes that do not print
\ (a tab prints).
: quotable? ( c-addr u -- flag )
  bounds ?do
    i c@ dup bl 127 within over 9 = or swap [char] " <> and 0= if unloop false exit then
  loop true ;
: /escaped ( char -- u )   \ its width as S\" writes it
  dup [char] " = over [char] \ = or if drop 2 exit then  bl 127 within if 1 else 4 then ;
: .escaped-char ( char -- )
  dup [char] " = over [char] \ = or if [char] \ emit emit exit then
  dup bl 127 within if emit exit then
  ." \x" base @ >r hex 0 <# # # #> type r> base ! ;
: .text   ( c-addr u quote-c-addr u -- )   \ a string as its quoting word shows it
  2over quotable? if
    2over nip over + 2 + room  tok  dup 2 + column +! type  [char] " emit space exit
  then
  2drop s\" s\\\""  2over 0 -rot bounds ?do i c@ /escaped + loop 5 + room
  tok  0 -rot bounds ?do i c@ dup .escaped-char /escaped + loop 2 + column +!
  [char] " emit space ;
: text?   ( c-addr u -- flag )   \ the bytes lie in data space
  over data-origin here within 0= if 2drop false exit then
  dup $10000 u< 0= if 2drop false exit then  + here u> 0= ;

\ Data-space addresses that are the body or the cell of a word
variable wanted
variable found
: (body-word) ( nt -- flag )   \ a CREATEd word or a VALUE whose LIT is wanted
  dup name>flags $40 and 0= if drop true exit then
  dup 9 + c@ dup 5 = swap 6 = or 0= if drop true exit then
  dup name>xt dup op@ op-lit = swap operand wanted @ = and if found ! false exit then
  drop true ;
: body-word ( x -- nt | 0 )
  dup data-origin here within 0= if drop 0 exit then
  wanted !  0 found !
  voc-link @ begin dup found @ 0= and while ['] (body-word) over traverse-wordlist @ repeat drop
  found @ ;
: code-length ( nt -- u )  9 + c@ ;
: value-word? ( nt -- flag )  dup code-length 6 = swap name>xt 5 + op@ ['] @ c@p = and ;

\ The primitives, longest code first, to recognise runs of opcodes.
create prims  200 cells allot
variable #prims
: primitive? ( nt -- flag )   \ a kernel word compiled as its code, not a single LIT
  dup kernel-latest u> if drop false exit then
  dup name>flags $40 and 0= if drop false exit then
  dup code-length dup 0= if 2drop false exit then
  5 = swap name>xt op@ op-lit = and 0= ;
: prim@   ( i -- nt )  cells prims + @ ;
: same-code? ( nt1 nt2 -- flag )
  over code-length over code-length <> if 2drop false exit then
  name>xt over name>xt rot code-length code= ;
: add-prim ( nt -- true )   \ of two with the same code the older, found later, stays
  dup primitive? 0= if drop true exit then
  #prims @ 0 ?do dup i prim@ same-code? if i cells prims + ! unloop true exit then loop
  #prims @ 200 < if prims #prims @ cells + ! 1 #prims +! else drop then true ;
: sort-prims ( -- )   \ longest first
  #prims @ 0 ?do  #prims @ i 1+ ?do
    j prim@ code-length i prim@ code-length < if
      j prim@ i prim@  j cells prims + !  i cells prims + !
    then
  loop loop ;
' add-prim forth-wordlist traverse-wordlist  sort-prims
: prim-at ( a -- nt | 0 )   \ the longest primitive whose code is there
  #prims @ 0 ?do
    i prim@ code-length  2dup + end @ u> 0= if
      over i prim@ name>xt rot code= if
        dup i prim@ code-length entered? 0= if drop i prim@ unloop exit then
      then
    else drop then
  loop drop 0 ;

\ The shapes of code: each is ( a -- a' true | a false ), a' after what it
\ printed. SEE-INS tries them newest first.
variable shapes
: see-shape ( xt -- )  align here shapes @ , swap , shapes ! ;

: lit?    ( a -- a' true | a false )   \ a number, an xt, a body
  dup op@ op-lit = 0= if false exit then
  dup operand dup named ?dup if nip s" [']" tok name>string tok next-ins true exit then
  dup body-word ?dup if nip name>string tok next-ins true exit then
  tok-n next-ins true ;
' lit? see-shape
: prim?   ( a -- a' true | a false )
  dup prim-at ?dup if dup name>string tok code-length + true exit then false ;
' prim? see-shape
: c-string? ( a -- a' true | a false )   \ LIT of a counted string in data space
  dup op@ op-lit = 0= if false exit then
  dup operand dup body-word over data-origin here within 0= or if drop false exit then
  count 2dup text? if 2dup quotable? over 0<> and if
    s\" c\"" .text next-ins true exit
  then then 2drop false ;
' c-string? see-shape
: value-use? ( a -- a' true | a false )   \ LIT cell @ or ! of a VALUE
  dup op@ op-lit = 0= if false exit then
  dup operand body-word dup if dup value-word? 0= if drop 0 then then
  ?dup 0= if false exit then
  over 5 + op@ ['] @ c@p = if name>string tok 6 + true exit then
  over 5 + op@ ['] ! c@p = if s" to" tok name>string tok 6 + true exit then
  drop false ;
' value-use? see-shape
: postponed? ( a -- a' true | a false )   \ LIT xt CALL compile,
  dup op@ op-lit = 0= if false exit then
  dup operand named 0= if false exit then
  dup 5 + ['] compile, jumps? 0= if false exit then
  s" postpone" tok  dup operand named name>string tok  10 + true ;
' postponed? see-shape
: exit?   ( a -- a' true | a false )
  dup execute-ops ops? over 2 + end @ = and if s" execute" tok 2 + true exit then
  dup op@ op-exit = 0= if false exit then
  dup 1+ end @ <> if s" exit" tok then  1+ true ;
' exit? see-shape
: zbranch? ( a -- a' true | a false )   \ IF, WHILE, UNTIL
  dup op@ op-0branch = 0= if false exit then
  dup forward? 0= if s" until" closes next-ins true exit then
  dup while-at? 0= if s" if" opens next-ins true exit then
  dup repeat-resolved? if s" while" tok true break ! else s" while" opens then
  next-ins true ;
' zbranch? see-shape
variable recursing   \ a stack check before a call of the word itself: RECURSE
: branch? ( a -- a' true | a false )   \ ELSE AHEAD REPEAT AGAIN, a tail call, RECURSE
  dup op@ op-branch = 0= if false exit then
  recursing @ if false recursing ! s" recurse" tok next-ins true exit then
  dup target inside? 0= if   \ a tail call: the call and EXIT in one
    dup target .called  dup 5 + end @ <> if s" exit" tok then  next-ins true exit
  then
  dup forward? if
    dup else-at? if s" else" middle else s" ahead" opens then next-ins true exit
  then
  dup repeat-at? if s" repeat" else s" again" then closes  next-ins true ;
' branch? see-shape
: call?   ( a -- a' true | a false )
  dup op@ op-call = 0= if false exit then
  dup target dup start @ = if drop s" recurse" tok else .called then
  false recursing !  next-ins true ;
' call? see-shape
: string? ( a -- a' true | a false )   \ LIT c-addr LIT u: S" ." ABORT"
  dup pair-ops ops? 0= if false exit then
  dup operand over 5 + operand  2dup text? 0= if 2drop false exit then
  2dup quotable? if
    2 pick 10 + ['] type jumps? if s\" .\"" .text 15 + true exit then
    2 pick 10 + ['] (abort") jumps? if s\" abort\"" .text 15 + true exit then
  then
  s\" s\"" .text 10 + true ;
' string? see-shape
: does?   ( a -- a' true | a false )
  dup does-at? if s" does>" middle 2 skip dup op@ op-exit = if 1+ then true exit then false ;
' does? see-shape
: .local  ( i -- )  0 <# #s [char] l hold #> tok ;
: local-ref ( a -- i a' )   \ after LIT lp @: the local's number
  dup 6 + offset-ops ops? if dup 6 + operand 2 rshift swap 12 + else 0 swap 6 + then ;
: local?  ( a -- a' true | a false )
  dup op@ op-lit = over operand lp = and over 5 + op@ ['] @ c@p = and 0= if false exit then
  dup local-ref
  dup op@ ['] @ c@p = if 1+ >r .local drop r> true exit then
  dup op@ ['] ! c@p = if 1+ >r s" to" tok .local drop r> true exit then
  2drop false ;
' local? see-shape
: unframe? ( a -- a' true | a false )
  dup unframe-ops ops? over 5 + operand lp = and if 8 skip true exit then false ;
' unframe? see-shape
: frame?  ( a -- a' true | a false )
  dup frame-ops ops? over 10 + ['] (frame) calls? and 0= if false exit then
  s" {:" tok  dup operand over 5 + operand 0 ?do
    dup i = if s" |" tok then  i .local
  loop drop  s" :}" tok  3 skip true ;
' frame? see-shape
: leave?  ( a -- a' true | a false )
  dup leave-ops ops? over 2 + forward? and if s" leave" tok 3 skip true exit then false ;
' leave? see-shape
: ?do-end ( a -- a' )   \ the way around a ?DO loop, not shown
  dup ?do-end? if 3 skip then ;
: loop?   ( a -- a' true | a false )
  dup loop-ops ops? if s" loop" closes 2 skip ?do-end true exit then
  dup step-ops ops? if dup 1+ operand tok-n s" +loop" closes 8 skip ?do-end true exit then
  dup back-step-ops ops? if dup 1+ operand negate tok-n s" +loop" closes 8 skip ?do-end true exit then
  dup +loop-ops ops? if s" +loop" closes 13 skip ?do-end true exit then
  false ;
' loop? see-shape
: lit-do? ( a -- a' true | a false )
  dup lit-do-ops ops? 0= if false exit then
  dup 12 + loop-target? 0= if false exit then
  dup operand 1+ tok-n  dup operand over 6 + operand - tok-n  s" do" opens 12 + true ;
' lit-do? see-shape
: do?     ( a -- a' true | a false )
  dup do-ops ops? over 1+ operand -1 = and if s" do" opens 8 skip true exit then
  dup ?do-ops ops? over 4 skip do-ops ops? and if s" ?do" opens 12 skip true exit then
  false ;
' do? see-shape
: check?  ( a -- a' true | a false )   \ the stack test before RECURSE, EXECUTE, a DEFER
  dup check-ops ops? 0= if false exit then
  dup operand sp-limit <> over 8 + target ['] stacks-overflow <> or if false exit then
  dup 21 + target ['] stacks-overflow <> if false exit then
  26 +  dup op@ dup op-call = swap op-branch = or  over target start @ = and  recursing !  true ;
' check? see-shape
: fliteral? ( a -- a' true | a false )   \ the three cells of a float and the code of X>F
  dup flit-ops ops? 0= if false exit then
  dup 15 + ['] x>f dup xt>name code-length copy= 0= if false exit then
  dup operand over 5 + operand 2 pick 10 + operand x>f shortest-text tok
  15 + ['] x>f xt>name code-length + true ;
' fliteral? see-shape
: inline-run? ( a -- a' true | a false )
  dup run-at ?dup if dup name>string tok code-length + true exit then false ;
' inline-run? see-shape

: see-ins ( a -- a' )
  shapes @ begin ?dup while
    >r r@ cell+ @ execute if rdrop exit then r> @
  repeat
  dup op@ op-nop = if 1+ exit then
  dup op@ .mnemonic next-ins ;
: see-code ( a -- )   \ the code from a to its end
  dup start ! code-end end !  false recursing !  list-jumps
  start @ begin dup end @ u< while
    dup thens 0 ?do s" then" closes loop  dup begins 0 ?do s" begin" starts loop
    see-ins
  repeat drop ;

\ The kinds of words: each is ( nt -- flag ), true when it showed nt. SEE
\ tries them newest first; a colon definition is what none of them takes.
variable kinds
: see-kind ( xt -- )  align here kinds @ , swap , kinds ! ;
: body-of  ( nt -- a-addr )  name>string + aligned ;
: .header-end ( nt -- )
  dup name>flags $80 and if s" immediate" tok then
  name>flags $20 and if s" compile-only" tok then ;
: .named  ( nt c-addr u -- )  tok name>string tok ;   \ the defining word, the name
: inline-lit? ( nt u -- flag )   \ compiled as its u bytes of code, a LIT first
  over name>flags $40 and 0<> -rot  over code-length =  swap name>xt op@ op-lit = and and ;

: .code   ( nt -- )   \ a primitive's opcodes
  s" :" tok dup name>string tok s" (" tok s" inline:" tok
  dup name>xt swap code-length bounds begin 2dup u> while
    dup op@ .mnemonic dup op@ op-lit = if dup operand tok-n then next-ins
  repeat 2drop s" )" tok s" ;" tok ;
: code-kind ( nt -- flag )  dup name>flags $40 and if .code true exit then drop false ;
' code-kind see-kind

\ The defining words that a word of CREATE's shape notes, by their codes.
: maker:  ( code "name" -- )  , parse-name dup c, here swap dup allot move align ;
create makers
  by-variable maker: variable
  by-2variable maker: 2variable
  by-fvariable maker: fvariable
  0 ,
: maker   ( code -- c-addr u )   \ the defining word, CREATE when no other is noted
  makers begin dup @ while
    2dup @ = if nip cell+ count exit then  cell+ count + aligned
  repeat 2drop s" create" ;
: constant-kind ( nt -- flag )
  dup 5 inline-lit? 0= if drop false exit then
  dup name>xt operand tok-n s" constant" .named true ;
' constant-kind see-kind
: created-kind ( nt -- flag )   \ LIT body EXIT: CREATE, VARIABLE, 2VARIABLE, ...
  dup 5 inline-lit? 0= if drop false exit then
  dup name>xt operand over body-of <> if drop false exit then
  dup name>xt 6 + op@ maker .named true ;
' created-kind see-kind
: value-kind ( nt -- flag )
  dup 6 inline-lit? over value-word? and 0= if drop false exit then
  dup name>xt execute tok-n s" value" .named true ;
' value-kind see-kind
: 2value-kind ( nt -- flag )
  dup 2value? 0= if drop false exit then
  dup name>xt execute swap tok-n tok-n s" 2value" .named true ;
' 2value-kind see-kind
: field-kind ( nt -- flag )   \ LIT n +
  dup 6 inline-lit? over name>xt 5 + op@ op-+ = and 0= if drop false exit then
  dup name>xt operand tok-n s" +field" .named true ;
' field-kind see-kind
: defer-kind ( nt -- flag )   \ LIT cell @ EXECUTE, the cell its body
  dup name>xt dup op@ op-lit = over 5 + op@ ['] @ c@p = and over 6 + op@ op-execute = and
  swap operand 2 pick body-of = and  0= if drop false exit then
  dup s" defer" .named  s" ( is" tok name>xt >body @ .name-of s" )" tok true ;
' defer-kind see-kind
: does-code ( xt -- a | 0 )   \ where DOES> of the defining word xt goes on
  64 0 do dup does-at? if operand unloop exit then next-ins loop drop 0 ;
: does-target ( nt -- a | 0 )   \ LIT body BRANCH a, where DOES> left it
  dup name>xt dup op@ op-lit = over operand 3 pick body-of = and
  over 5 + op@ op-branch = and 0= if 2drop 0 exit then
  nip 5 + target  dup 10 code-here within 0= if drop 0 exit then
  dup 10 - does-at? over 10 - operand 2 pick = and and ;
: does-kind ( nt -- flag )   \ made by a defining word with DOES>
  dup does-target ?dup 0= if drop false exit then
  over s" create" .named  nl s" does>" opens  see-code [char] ; emit space  drop true ;
' does-kind see-kind
: 2constant-kind ( nt -- flag )
  dup does-target ?dup 0= if drop false exit then
  ['] 2constant does-code <> if drop false exit then
  dup name>xt execute tuck dabs <# [char] . hold #s rot sign #> tok s" 2constant" .named true ;
' 2constant-kind see-kind
: fconstant-kind ( nt -- flag )   \ the unpacked float in its body
  dup does-target ?dup 0= if drop false exit then
  ['] fconstant does-code <> if drop false exit then
  dup name>xt >body fx@ x>f shortest-text tok s" fconstant" .named true ;
' fconstant-kind see-kind
: fvalue-kind ( nt -- flag )
  dup does-target ?dup 0= if drop false exit then
  ['] fvalue does-code <> if drop false exit then
  dup name>xt execute shortest-text tok s" fvalue" .named true ;
' fvalue-kind see-kind
: synonym-kind ( nt -- flag )   \ its xt is another word's
  dup name>xt named dup 0= swap 2 pick = or if drop false exit then
  dup s" synonym" .named name>xt named name>string tok true ;
' synonym-kind see-kind

: .colon  ( nt -- )
  s" :" tok dup name>string tok  1 indent !  true break !
  dup name>xt see-code  [char] ; emit space  .header-end ;
: see     ( "<spaces>name" -- )
  parse-name find-or-throw  cr 0 column ! 0 indent ! false break !
  kinds @ begin ?dup while
    >r dup r@ cell+ @ execute if drop rdrop exit then r> @
  repeat .colon ;
