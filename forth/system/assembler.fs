\ CODE and ;CODE: definitions written in the processor's instructions.
\
\ The ASSEMBLER word list has a word for each opcode, named by its
\ mnemonic, that compiles it. LIT takes its number from the stack; CALL,
\ BRANCH, 0BRANCH and NBRANCH take the address they go to (an xt, or a
\ place marked with BEGIN, or resolved by THEN). IF, ELSE, THEN, BEGIN,
\ UNTIL, AGAIN, WHILE and REPEAT build branches as the compiler does.
\
\   code 3*  dup dup + +  end-code
\
\ A code definition without calls, branches or EXIT is compiled inline,
\ as the primitives are.

vocabulary assembler

: assemble  ( x opcode -- | opcode -- )
  dup op-lit = if op-cell, exit then
  dup 4 u< if op-to, exit then
  op, ;
: opcode-word ( opcode c-addr u -- )  header, here value, reveal  c,  does> c@ assemble ;
: opcode-words ( -- )   \ one for each name of the opcode table
  mnemonics 64 0 do
    skip-blanks 2dup scan-blank 2swap 2 pick -  i -rot opcode-word
  loop 2drop ;
variable code-start   \ the code definition being assembled, or 0 after ;CODE
: position-free? ( a1 a2 -- flag )   \ no CALL, branch or EXIT from a1 to a2
  swap begin 2dup u> while
    dup op@ dup 4 u< swap op-exit = or if 2drop false exit then next-ins
  repeat 2drop true ;

get-current  ' assembler >body set-current
opcode-words
: if      ( -- orig )  op-0branch >mark ;
: else    ( orig1 -- orig2 )  op-branch >mark swap >resolve ;
: then    ( orig -- )  >resolve ;
: begin   ( -- dest )  <mark ;
: until   ( dest -- )  op-0branch <resolve ;
: again   ( dest -- )  op-branch <resolve ;
: while   ( dest -- orig dest )  op-0branch >mark swap ;
: repeat  ( orig dest -- )  op-branch <resolve >resolve ;
: end-code  ( -- )
  op-exit op,  previous
  code-start @ ?dup if code-here 1- position-free? if inline-latest then then
  reveal end-definition ;
set-current

: code   ( "<spaces>name" -- )
  mark-definition parse-name header,  start-code  last-xt @ code-start !  also assembler ;
: ;code  ( C: colon-sys -- )
  postpone does>  postpone [  0 code-start !  also assembler ; immediate compile-only
