\ The compiler: subroutine-threaded code in program memory.
\
\ A definition is machine code: a call is CALL, ; is EXIT, a primitive is
\ its opcodes copied in, a constant or variable is a LIT. It remembers the
\ last two instructions and the last address a branch may target, which is
\ enough for two improvements: a pure primitive after literals runs at
\ compile time (3 CELLS compiles LIT 12), and a CALL right before the end
\ becomes a BRANCH (the callee's EXIT then returns for both), an EXECUTE
\ there >R EXIT.

: ins       ( -- )  last-ins @ prev-ins !  code-here last-ins ! ;
: op,       ( opcode -- )  ins code-c, ;
: op-cell,  ( x opcode -- )   \ an instruction with its operand
  ins  flash-buf 3 + c!  flash-buf 4 + !  flash-buf 3 + 5 code-bytes, ;
: op-to,    ( paddr opcode -- )  swap code-here 5 + - swap op-cell, ;
: literal,  ( x -- )  op-lit op-cell, ;
: call,     ( xt -- )  op-call op-to, ;
: label     ( -- )  code-here last-label ! ;

\ Literal folding
: lit?      ( paddr -- flag )   \ a LIT that no branch target follows
  dup last-label @ u< if drop false exit then  c@p op-lit = ;
: just-before? ( paddr n -- flag )  code-here swap - = ;
: literals? ( n -- flag )   \ the last n instructions are foldable literals
  last-ins @ dup 5 just-before? swap lit? and
  swap 1 = if exit then
  prev-ins @ dup 10 just-before? swap lit? and and ;
: literal@  ( paddr -- x )  1+ @p ;
: unlit     ( -- x )   \ takes the last literal back out of the code
  last-ins @ literal@  prev-ins @ last-ins !  0 prev-ins !  -5 cp +! ;
: fold      ( xt n -- )
  1 = if unlit swap execute literal, exit then
  unlit unlit swap rot execute literal, ;

\ A branch or call of inline code that leaves the code (to a word that
\ throws, or to a rare case kept out of line) goes to the same place from
\ the copy: its relative operand is adjusted by how far the copy lies. A
\ branch to the end of the code stays with the copy.
: ins-length ( opcode -- u )  5 u< 4 and 1+ ;
: branch-target ( paddr -- paddr' )  dup 1+ @p + 5 + ;   \ of CALL, BRANCH, 0BRANCH, NBRANCH
: leaves?   ( xt end paddr -- flag )  branch-target -rot 1+ within 0= ;
: relocate  ( xt u paddr -- )   \ paddr: where the u bytes at xt were copied
  2 pick - >r  over + over                          ( xt end src ) ( R: delta )
  begin 2dup u> while
    dup c@p 4 u< if  2 pick 2 pick 2 pick leaves? if
      dup branch-target  over r@ + 5 + -  over r@ + 1+ code!
    then then
    dup c@p ins-length +
  repeat drop 2drop rdrop ;
: inline,   ( xt u -- )   \ copies the u bytes of code at xt
  dup 0= if 2drop exit then
  over c@p op-lit = over 5 = and if drop literal@ literal, exit then
  2dup code-here >r
  ins >r flash-buf r@ 0 ?do over i + c@p over i + c! loop nip r> code-bytes,
  r> relocate ;

\ Code that can recurse checks the stacks first: RECURSE, EXECUTE and
\ a call of a deferred word. Past either limit it branches to
\ stacks-overflow, which throws -3 or -5.
: limit-check, ( limit opcode -- )   \ LIT limit @P SP@|RP@ U< 0BRANCH stacks-overflow
  swap literal, op-@p op, op,  op-u< op,  ['] stacks-overflow op-0branch op-to, ;
: stack-check, ( -- )  sp-limit op-sp@ limit-check,  rp-limit op-rp@ limit-check, ;
: deferred? ( xt -- flag )   \ LIT cell @ EXECUTE: the code of a deferred word
  dup c@p op-lit =  over 5 + c@p op-@ = and  swap 6 + c@p op-execute = and ;

: compile,  ( xt -- )
  dup ['] execute = if drop stack-check, op-execute op, exit then
  dup xt>name ?dup 0= if call, exit then
  name>flags dup 3 and ?dup if dup literals? if nip fold exit then drop then
  $40 and if dup xt>name >inline c@ inline, exit then
  dup deferred? if stack-check, then call, ;

\ Leaving a definition: its locals frame goes first.
: locals-exit, ( -- )  #locals @ ?dup if cells literal, lp literal, ['] +! compile, then ;

\ Tail calls
: last-op?  ( opcode n -- flag )   \ the last instruction, n bytes long, with no label after it
  last-ins @ dup rot just-before?  over last-label @ u< 0= and  swap c@p rot = and ;
: exit,     ( -- )
  locals-exit,
  op-call 5 last-op? if op-branch last-ins @ code-c! exit then
  op-execute 1 last-op? if op->r last-ins @ code-c! then
  op-exit op, ;

\ Control structures. orig is the operand of a forward branch, dest the
\ target of a backward one.
: >mark     ( opcode -- orig )  0 swap op-cell, code-here 4 - ;
: >resolve  ( orig -- )  code-here over 4 + - swap code! label ;
: <mark     ( -- dest )  code-here label ;
: <resolve  ( dest opcode -- )  op-to, ;

\ On the control-flow stack (the data stack) an item is two cells: the
\ address, and a tag that says what it is. A word that takes an item checks
\ the tag, and that the item belongs to the definition being compiled
\ (above csp): a mismatch is -22 while compiling, never a wild branch.
$C5F10001 CONSTANT cs-orig    \ a forward branch to resolve
$C5F10002 CONSTANT cs-dest    \ a place to branch back to
$C5F10003 CONSTANT cs-do      \ DO's: under it the outer LEAVEs, ?DO's orig and the dest
$C5F10004 CONSTANT cs-case    \ CASE's, under its ENDOFs
$C5F10005 CONSTANT cs-of
$C5F10006 CONSTANT cs-endof
: cs-tag    ( C: x tag -- x tag ) ( -- tag | 0 )   \ 0: no item of this definition on top
  sp@ cell+ csp @ u< if dup exit then 0 ;
: ?cs       ( C: x tag -- x ) ( tag -- )  >r cs-tag r> <> if -22 throw then drop ;
: ?csp      ( -- )  sp@ csp @ <> if -22 throw then ;   \ no structure left open

: if        ( C: -- orig )  op-0branch >mark cs-orig ; immediate compile-only
: else      ( C: orig1 -- orig2 )
  cs-orig ?cs  op-branch >mark swap >resolve cs-orig ; immediate compile-only
: then      ( C: orig -- )  cs-orig ?cs >resolve ; immediate compile-only
: begin     ( C: -- dest )  <mark cs-dest ; immediate compile-only
: until     ( C: dest -- )  cs-dest ?cs op-0branch <resolve ; immediate compile-only
: again     ( C: dest -- )  cs-dest ?cs op-branch <resolve ; immediate compile-only
: while     ( C: dest -- orig dest )
  cs-dest ?cs  op-0branch >mark cs-orig rot cs-dest ; immediate compile-only
: repeat    ( C: orig dest -- )
  cs-dest ?cs op-branch <resolve  cs-orig ?cs >resolve ; immediate compile-only

\ Counted loops. DO keeps ( R: limit-1 count ): LOOP is one NBRANCH, which
\ counts down and drops the count at the end; +LOOP steps the count by the
\ increment and leaves when the subtraction's borrow (in W) says that the
\ index crossed the limit. LEAVEs are chained through their operands;
\ outside every loop the chain is no-loop.
-1 CONSTANT no-loop
: (do)      ( -- )
  2 literals? if   \ both bounds known: the parameters are too
    unlit unlit 1- tuck swap -  swap literal, op->r op,  literal, op->r op,  exit
  then
  op-swap op,  -1 literal,  op-+ op,  op-dup op,  op->r op,  op-swap op,  op-- op,  op->r op, ;
: do-sys    ( orig|0 -- do-sys )  leave-chain @ swap  0 leave-chain !  (do) <mark cs-do ;
: do        ( C: -- do-sys )  0 do-sys ; immediate compile-only
: ?do       ( C: -- do-sys )
  op-over op, op-over op, op-- op, op-0branch >mark do-sys ; immediate
: leave     ( C: -- )
  leave-chain @ no-loop = if -22 throw then
  op-rdrop op, op-rdrop op,  leave-chain @ op-branch op-cell,  code-here 4 - leave-chain ! ;
  immediate compile-only
: loop-exit ( chain orig|0 -- )
  ?dup if op-branch >mark swap >resolve op-drop op, op-drop op, >resolve then
  leave-chain @ begin ?dup while dup @p swap >resolve repeat
  leave-chain ! ;
: loop      ( C: do-sys -- )
  cs-do ?cs  op-nbranch <resolve  op-rdrop op,  loop-exit ; immediate compile-only
\ +LOOP with a known step n subtracts it (adds -n when n is negative) and
\ leaves on the borrow (the carry); with a step on the stack it leaves when
\ the borrow differs from the step's sign bit.
: known-step, ( dest n -- )
  op-r> op,  dup 0< if negate literal, op-+ op, else literal, op-- op, then
  op->r op,  op-fw@ op,  op-0branch <resolve ;
: any-step,   ( dest -- )
  op-dup op,  31 literal,  op-rshift op,  op-swap op,  op-r> op,  op-swap op,  op-- op,
  op->r op,  op-fw@ op,  op-xor op,  op-0branch <resolve ;
: +loop     ( C: do-sys -- )
  cs-do ?cs  1 literals? if unlit known-step, else any-step, then
  op-rdrop op,  op-rdrop op,  loop-exit ; immediate compile-only

\ Definitions. A definition that fails while it is compiled is dropped
\ whole: the dictionary goes back to where its colon found it, unless names
\ were made inside it meanwhile (they are kept, and it with them).
: [         ( -- )  false state ! ; immediate
: ]         ( -- )  true state ! ;
: no-locals ( -- )  0 #locals !  0 local-names ! ;
: start-code ( -- )
  code-here dup last-xt ! last-label !  0 last-ins !  0 prev-ins !  no-loop leave-chain !  no-locals ;
: mark-definition ( -- )   \ before its header
  here code-here colon-mark 2!  latest @ last-xt @ colon-mark 2 cells + 2! ;
: end-definition ( -- )  0 colon-mark ! ;
: drop-definition ( -- )   \ the one being compiled, if any
  colon-mark @ 0= if exit then
  colon-mark cell+ @ aligned latest @ u< 0= if
    colon-mark 2@ cp ! dp !  colon-mark 2 cells + 2@ last-xt ! latest !
  then end-definition ;
: :         ( "<spaces>name" -- colon-sys )
  mark-definition parse-name header, true reveal? ! start-code sp@ csp ! ] ;
: :noname   ( -- xt colon-sys )
  mark-definition 0 code, false reveal? ! start-code code-here sp@ csp ! ] ;
: ;         ( colon-sys -- )
  ?csp exit, no-locals reveal? @ if reveal then false state ! end-definition ; immediate compile-only
: exit      ( -- )  exit, ; immediate compile-only
: recurse   ( -- )  stack-check, last-xt @ call, ; immediate compile-only
: literal   ( x -- )  literal, ; immediate compile-only

\ CONSTANT, VARIABLE and CREATE compile code that pushes one value, and
\ that the compiler copies as a literal; CREATE leaves room for DOES> to
\ turn its EXIT into a branch. Until DOES> takes it, the first byte of that
\ room says which defining word made the word, for SEE: a NOP for CREATE
\ itself (and CONSTANT), else one of the codes below.
1 CONSTANT by-variable
2 CONSTANT by-2variable
3 CONSTANT by-fvariable
: value,    ( x -- )
  flash-buf 4 + !  op-lit flash-buf 3 + c!  $3F3F3F05 flash-buf 8 + !  op-nop flash-buf 12 + c!
  flash-buf 3 + 10 code-bytes,  $40 latest @ >flags c!  5 latest @ >inline c! ;
: create    ( "<spaces>name" -- )  parse-name header, here value, reveal ;
: made-by   ( code -- )  last-xt @ 6 + code-c! ;   \ the defining word of the latest word
: variable  ( "<spaces>name" -- )  create 0 ,  by-variable made-by ;
: constant  ( x "<spaces>name" -- )  parse-name header, value, reveal ;
: >body     ( xt -- a-addr )  1+ @p ;

: (does)    ( paddr -- )   \ the latest word branches to paddr after its LIT
  last-xt @ 10 + - flash-buf 4 + !  op-branch flash-buf 3 + c!
  flash-buf 3 + last-xt @ 5 + 5 flash
  latest @ >flags dup c@ $BF and swap c! ;
: does>     ( C: colon-sys1 -- colon-sys2 )
  ?csp  0 literal,  code-here 4 -  ['] (does) call,  exit,  no-locals  code-here swap code!
  label  0 last-ins !  0 prev-ins ! ; immediate compile-only
