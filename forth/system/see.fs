\ SEE: a word shown as Forth source, decompiled from the code that the
\ compiler made for it.
\
\ That code has few shapes, and SEE reads each back: a CALL is the name of
\ the word called; a run of opcodes that is the code of a primitive is the
\ primitive (the longest such run); LIT is a number, or ['] name when it is
\ the xt of a word; the branches are IF ELSE THEN, BEGIN WHILE REPEAT UNTIL
\ AGAIN and AHEAD; the set-up and steps of counted loops are DO ?DO LOOP
\ +LOOP LEAVE; and so on for strings, DOES>, locals, and the return-stack
\ check that RECURSE compiles. A word that is not a colon definition is
\ shown by the defining word that made it.

\ Reading code
: op@      ( a -- op )  c@p ;
: operand  ( a -- x )  1+ @p ;
: /ins     ( a -- u )  op@ 5 u< if 5 else 1 then ;   \ CALL to LIT have a cell after them
: next-ins ( a -- a' )  dup /ins + ;
: target   ( a -- a' )  dup operand + 5 + ;
: skip     ( a n -- a' )  0 ?do next-ins loop ;
: ops?     ( a pattern -- flag )   \ the instructions from a have the pattern's opcodes
  count bounds ?do dup op@ i c@ <> if drop false unloop exit then next-ins loop drop true ;
: ops:     ( "name" "opcodes<eol>" -- )   \ a counted string of the opcodes
  create here 0 c,  begin parse-name dup while
    number? 1 <> if -13 throw then c,  dup c@ 1+ over c!
  repeat 2drop drop ;

\ The code's shapes, as opcodes
ops: do-ops         $0C $04 $16 $0A $0F $0C $17 $0F
ops: ?do-ops        $0B $0B $17 $02
ops: lit-do-ops     $04 $0F $04 $0F
ops: loop-ops       $03 $12
ops: step-ops       $10 $04 $17 $0F $3A $02 $12 $12
ops: back-step-ops  $10 $04 $16 $0F $3A $02 $12 $12
ops: +loop-ops      $0A $04 $19 $0C $10 $0C $17 $0F $3A $15 $02 $12 $12
ops: ?do-end-ops    $01 $09 $09
ops: leave-ops      $12 $12 $01
ops: check-ops      $04 $24 $07 $1E $04 $24 $0D $1E $13 $02
ops: frame-ops      $04 $04 $00
ops: unframe-ops    $04 $04 $0C $0B $24 $16 $0C $25
ops: offset-ops     $04 $16
ops: string-ops     $04 $04 $00
ops: pair-ops       $04 $04
ops: execute-ops    $0F $05
ops: flit-ops       $04 $04 $04

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
: code-end ( a -- a' )   \ after the EXIT or BRANCH that no forward branch passes
  dup reach !
  begin
    dup does-at? if dup operand extend then
    dup forward? if dup target extend then
    dup transfer? over reach @ u< 0= and if next-ins exit then
    next-ins  dup code-here u< 0= over start @ - 8192 u> or
  until ;

\ Labels: where structures begin and end. A count is made by looking at
\ every instruction of the definition that branches there.
: each-ins ( xt -- )   \ runs xt ( a -- ) for each instruction
  >r start @ begin dup end @ u< while dup r@ execute next-ins repeat drop rdrop ;
variable at          \ the address whose labels are counted
variable counted
: count-if ( flag -- )  if 1 counted +! then ;
: step-branch? ( a -- flag )   \ the 0BRANCH of a +LOOP
  dup 9 - dup step-ops ops? swap back-step-ops ops? or  swap 14 - +loop-ops ops? or ;
: tail-recurse? ( a -- flag )  dup target start @ =  swap 22 - check-ops ops? and ;
: begin-branch? ( a -- flag )   \ UNTIL, AGAIN or REPEAT to at
  dup op@ dup op-branch = swap op-0branch = or 0= if drop false exit then
  dup target at @ <> if drop false exit then
  dup step-branch? over tail-recurse? or if drop false exit then
  dup target swap u> 0= ;
: (begin-count) ( a -- )  begin-branch? count-if ;
: ins-at?  ( a -- flag )   \ an instruction of the definition starts at a
  start @ begin dup end @ u< over 3 pick u< and while next-ins repeat = ;
: else-at? ( a -- flag )   \ a forward BRANCH, not LEAVE's, ends the IF part before a
  5 - dup ins-at? 0= if drop false exit then
  dup op@ op-branch = over forward? and swap 2 - leave-ops ops? 0= and ;
: while? ( a -- flag )   \ a forward 0BRANCH whose target follows a backward BRANCH
  target 5 - dup ins-at? 0= if drop false exit then
  dup op@ op-branch = over forward? 0= and swap target inside? and ;
: if? ( a -- flag )
  dup op@ op-0branch = over forward? and 0= if drop false exit then
  dup while? if drop false exit then
  dup 3 - ?do-ops ops? 0= swap target inside? and ;
: then-branch? ( a -- flag )   \ an IF, ELSE or AHEAD that ends at at
  dup forward? 0= if drop false exit then
  dup target at @ <> if drop false exit then
  dup op@ op-0branch = if if? at @ else-at? 0= and exit then
  dup 2 - leave-ops ops? if drop false exit then
  dup ?do-end-ops ops? over operand 2 = and 0= nip ;
: (then-count) ( a -- )  then-branch? count-if ;
: labels  ( a -- begins thens )
  at !  0 counted ! ['] (begin-count) each-ins counted @
  0 counted ! ['] (then-count) each-ins counted @ ;

\ Printing, with the structures indented
variable indent
variable column
variable break       \ the next word starts a new line
: nl      ( -- )  cr indent @ 2* dup spaces column !  false break ! ;
: tok     ( c-addr u -- )
  break @ if nl then
  dup column @ + 76 > if nl then  dup 1+ column +! type space ;
: tok-n   ( n -- )  (.) tok ;
: fresh   ( -- )  column @ indent @ 2* > if nl then ;
: opens   ( c-addr u -- )  tok 1 indent +! true break ! ;
: starts  ( c-addr u -- )  fresh opens ;
: closes  ( c-addr u -- )  -1 indent +! nl tok true break ! ;
: middle  ( c-addr u -- )  -1 indent +! nl tok 1 indent +! true break ! ;
: .name-of ( xt -- )   \ the name, or the address of code without one
  dup named ?dup if nip name>string tok exit then
  base @ >r hex 0 <# #s [char] $ hold #> r> base ! tok  s" execute" tok ;
: .mnemonic ( op -- )   \ from the one opcode table
  mnemonics rot 0 ?do bl scan 1 /string loop 2dup bl scan nip - tok ;
: .text   ( c-addr u quote-c-addr u -- )   \ a string as its quoting word shows it
  2over nip over + 3 + column @ + 76 > if nl then
  tok  dup 2 + column +! type [char] " emit space ;
: printable? ( c-addr u -- flag )
  dup 256 u< 0= if 2drop false exit then
  bounds ?do i c@ bl 127 within 0= if unloop false exit then loop true ;



\ Which instructions branch where
: some?   ( a xt -- flag )   \ xt ( a -- ) counts an instruction that branches to a
  at @ >r swap at !  0 counted !  each-ins  counted @ 0<>  r> at ! ;
: (if-to) ( a -- )  dup if? swap target at @ = and count-if ;
: (while-to) ( a -- )
  dup op@ op-0branch = over forward? and over while? and swap target at @ = and count-if ;
: branch-op? ( a -- flag )  op@ 1 4 within ;
variable span     \ a run of code that no branch may enter
: (into-span) ( a -- )
  dup branch-op? if target at @ 1+ span @ within count-if else drop then ;
: entered? ( a u -- flag )  over + span !  ['] (into-span) some? ;
: loop-target? ( a -- flag )   \ the start of a loop's body
  at !  false start @ begin dup end @ u< while
    dup op@ op-nbranch = over step-branch? or over target at @ = and  rot or swap next-ins
  repeat drop ;

: code=   ( a1 a2 u -- flag )
  0 ?do over i + c@p over i + c@p <> if 2drop false unloop exit then loop 2drop true ;

\ The primitives, longest code first, to recognise runs of opcodes.
create prims  200 cells allot
variable #prims
: code-length ( nt -- u )  9 + c@ ;
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

\ Data-space addresses that are the body or the cell of a word
variable wanted
variable found
: (body-word) ( nt -- flag )   \ a CREATEd word or a VALUE whose LIT is wanted
  dup name>flags $40 and 0= if drop true exit then
  dup code-length dup 5 = swap 6 = or 0= if drop true exit then
  dup name>xt dup op@ op-lit = swap operand wanted @ = and if found ! false exit then
  drop true ;
: body-word ( x -- nt | 0 )
  dup data-origin here within 0= if drop 0 exit then
  wanted !  0 found !
  voc-link @ begin dup found @ 0= and while ['] (body-word) over traverse-wordlist @ repeat drop
  found @ ;
: value-word? ( nt -- flag )  dup code-length 6 = swap name>xt 5 + op@ ['] @ c@p = and ;

\ Each shape: ( a -- a' true | a false ), a' after what it printed.
variable recursing   \ a stack check before a call of the word itself: RECURSE
: .local  ( i -- )  0 <# #s [char] l hold #> tok ;
: check?  ( a -- a' true | a false )
  dup check-ops ops? 0= if false exit then
  dup operand sp-limit <> over 17 + target ['] stacks-overflow <> or if false exit then
  22 +  dup op@ dup op-call = swap op-branch = or  over target start @ = and  recursing !  true ;
: do?     ( a -- a' true | a false )
  dup do-ops ops? over 1+ operand -1 = and if s" do" opens 8 skip true exit then
  dup ?do-ops ops? over 4 skip do-ops ops? and if s" ?do" opens 12 skip true exit then
  false ;
: lit-do? ( a -- a' true | a false )
  dup lit-do-ops ops? 0= if false exit then
  dup 12 + loop-target? 0= if false exit then
  dup operand 1+ tok-n  dup operand over 6 + operand - tok-n  s" do" opens 12 + true ;
: ?do-end ( a -- a' )   \ the way around a ?DO loop, not shown
  dup ?do-end-ops ops? over operand 2 = and if 3 skip then ;
: loop?   ( a -- a' true | a false )
  dup loop-ops ops? if s" loop" closes 2 skip ?do-end true exit then
  dup step-ops ops? if dup 1+ operand tok-n s" +loop" closes 8 skip ?do-end true exit then
  dup back-step-ops ops? if dup 1+ operand negate tok-n s" +loop" closes 8 skip ?do-end true exit then
  dup +loop-ops ops? if s" +loop" closes 13 skip ?do-end true exit then
  false ;
: leave?  ( a -- a' true | a false )
  dup leave-ops ops? over 2 + forward? and if s" leave" tok 3 skip true exit then false ;
: frame?  ( a -- a' true | a false )
  dup frame-ops ops? over 10 + ['] (frame) calls? and 0= if false exit then
  s" {:" tok  dup operand over 5 + operand 0 ?do
    dup i = if s" |" tok then  i .local
  loop drop  s" :}" tok  3 skip true ;
: unframe? ( a -- a' true | a false )
  dup unframe-ops ops? over 5 + operand lp = and if 8 skip true exit then false ;
: local-ref ( a -- i a' )   \ after LIT lp @: the local's number
  dup 6 + offset-ops ops? if dup 6 + operand 2 rshift swap 12 + else 0 swap 6 + then ;
: local?  ( a -- a' true | a false )
  dup op@ op-lit = over operand lp = and over 5 + op@ ['] @ c@p = and 0= if false exit then
  dup local-ref
  dup op@ ['] @ c@p = if 1+ >r .local drop r> true exit then
  dup op@ ['] ! c@p = if 1+ >r s" to" tok .local drop r> true exit then
  2drop false ;
: does?   ( a -- a' true | a false )
  dup does-at? if s" does>" middle 2 skip dup op@ op-exit = if 1+ then true exit then false ;
: string? ( a -- a' true | a false )
  dup pair-ops ops? 0= if false exit then
  dup operand over 5 + operand
  over data-origin here within 0= if 2drop false exit then
  2dup printable? 0= if 2drop false exit then
  2 pick 10 + ['] type jumps? if s\" .\"" .text 15 + true exit then
  2 pick 10 + ['] (abort") jumps? if s\" abort\"" .text 15 + true exit then
  s\" s\"" .text 10 + true ;
: fliteral? ( a -- a' true | a false )   \ the three cells of a float and (FLITERAL)
  dup flit-ops ops? 0= if false exit then
  dup 15 + ['] (fliteral) jumps? 0= if false exit then
  dup operand over 5 + operand 2 pick 10 + operand x>f shortest-text tok
  dup 15 + op@ op-branch = over 20 + end @ <> and if s" exit" tok then  20 + true ;
: call?   ( a -- a' true | a false )
  dup op@ op-call = 0= if false exit then
  dup target dup start @ = if drop s" recurse" tok else .name-of then
  false recursing !  next-ins true ;
: branch? ( a -- a' true | a false )
  dup op@ op-branch = 0= if false exit then
  recursing @ if false recursing ! s" recurse" tok next-ins true exit then
  dup target inside? 0= if   \ a tail call: the call and EXIT in one
    dup target .name-of  dup 5 + end @ <> if s" exit" tok then  next-ins true exit
  then
  dup forward? if
    dup 5 + ['] (if-to) some? if s" else" middle else s" ahead" opens then next-ins true exit
  then
  dup 5 + ['] (while-to) some? if s" repeat" else s" again" then closes  next-ins true ;
: zbranch? ( a -- a' true | a false )
  dup op@ op-0branch = 0= if false exit then
  dup forward? if dup while? if s" while" tok true break ! else s" if" opens then next-ins true exit then
  s" until" closes next-ins true ;
: exit?   ( a -- a' true | a false )
  dup execute-ops ops? over 2 + end @ = and if s" execute" tok 2 + true exit then
  dup op@ op-exit = 0= if false exit then
  dup 1+ end @ <> if s" exit" tok then  1+ true ;
: value-use? ( a -- a' true | a false )   \ LIT cell @ or ! of a VALUE
  dup op@ op-lit = 0= if false exit then
  dup operand body-word dup if dup value-word? 0= if drop 0 then then
  ?dup 0= if false exit then
  over 5 + op@ ['] @ c@p = if name>string tok 6 + true exit then
  over 5 + op@ ['] ! c@p = if s" to" tok name>string tok 6 + true exit then
  drop false ;
: prim?   ( a -- a' true | a false )
  dup prim-at ?dup if dup name>string tok code-length + true exit then false ;
: lit?    ( a -- a' true | a false )
  dup op@ op-lit = 0= if false exit then
  dup operand dup named ?dup if nip s" [']" tok name>string tok next-ins true exit then
  dup body-word ?dup if nip name>string tok next-ins true exit then
  tok-n next-ins true ;

: see-ins ( a -- a' )
  check? if exit then     do? if exit then       lit-do? if exit then
  loop? if exit then      leave? if exit then    frame? if exit then
  unframe? if exit then   local? if exit then    does? if exit then
  string? if exit then    fliteral? if exit then  call? if exit then     branch? if exit then
  zbranch? if exit then   exit? if exit then     value-use? if exit then
  prim? if exit then      lit? if exit then
  dup op@ op-nop = if 1+ exit then
  dup op@ .mnemonic next-ins ;
: see-code ( a -- )   \ the code from a to its end
  dup start ! code-end end !  false recursing !
  start @ begin dup end @ u< while
    dup labels swap >r 0 ?do s" then" closes loop r> 0 ?do s" begin" starts loop
    see-ins
  repeat drop ;

\ The words that are not colon definitions
: body-of  ( nt -- a-addr )  name>string + aligned ;
: .header-end ( nt -- )
  dup name>flags $80 and if s" immediate" tok then
  name>flags $20 and if s" compile-only" tok then ;
: .code   ( nt -- )   \ a primitive's opcodes
  s" :" tok dup name>string tok s" (" tok s" inline:" tok
  dup name>xt swap code-length bounds begin 2dup u> while
    dup op@ .mnemonic dup op@ op-lit = if dup operand tok-n then next-ins
  repeat 2drop s" )" tok s" ;" tok ;
: .inline ( nt -- )
  dup name>xt dup op@ op-lit = 0= if drop .code exit then   ( nt xt )
  over code-length 5 = if
    operand over body-of = if s" create" else dup name>xt operand tok-n s" constant" then
    tok name>string tok exit
  then
  over value-word? if drop dup name>xt execute tok-n s" value" tok name>string tok exit then
  over 2value? if drop dup name>xt execute swap tok-n tok-n s" 2value" tok name>string tok exit then
  5 + op@ op-+ = over code-length 6 = and if
    dup name>xt operand tok-n s" +field" tok name>string tok exit
  then .code ;
: defer?  ( xt -- flag )   \ LIT cell @ EXECUTE: a deferred word
  dup op@ op-lit = over 5 + op@ ['] @ c@p = and swap 6 + op@ op-execute = and ;
: created? ( xt -- flag )   \ LIT body BRANCH: changed by DOES>
  dup op@ op-lit = swap 5 + op@ op-branch = and ;
: .colon  ( nt -- )
  s" :" tok dup name>string tok  1 indent !  true break !
  dup name>xt see-code  [char] ; emit space  .header-end ;
: see     ( "<spaces>name" -- )
  parse-name find-or-throw  cr 0 column ! 0 indent ! false break !
  dup name>xt named over <> if
    s" synonym" tok dup name>string tok name>xt named name>string tok exit
  then
  dup name>flags $40 and if .inline exit then
  dup name>xt defer? if
    s" defer" tok dup name>string tok  s" ( is" tok name>xt >body @ .name-of s" )" tok exit
  then
  dup name>xt created? if
    s" create" tok dup name>string tok  nl s" does>" opens
    name>xt 5 + target see-code [char] ; emit space  exit
  then
  .colon ;
