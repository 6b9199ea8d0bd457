\ The text interpreter, source files, errors, and the start of the system.

\ Numbers: digits in BASE, or after a prefix # (decimal), $ (hex),
\ % (binary); a leading minus; a trailing point for a double; 'c' for a
\ character.
: digit?     ( char -- u true | false )
  dup [char] 9 > if upc dup [char] A < if drop false exit then 7 - then
  [char] 0 -  dup base @ u< dup 0= if nip then ;
: accumulate ( ud1 u -- ud2 )  >r base @ * >r base @ um* r> + r> 0 d+ ;
: >number    ( ud1 c-addr1 u1 -- ud2 c-addr2 u2 )
  begin dup while
    over c@ digit? 0= if exit then
    >r 2swap r> accumulate 2swap 1 /string
  repeat ;
: char-literal? ( c-addr u -- flag )
  3 = if dup c@ [char] ' = swap 2 + c@ [char] ' = and exit then drop false ;
: prefix-base ( c-addr1 u1 -- c-addr2 u2 )
  dup 0= if exit then
  over c@ dup [char] # = if drop 10 else dup [char] $ = if drop 16 else
  [char] % = if 2 else exit then then then
  base ! 1 /string ;
: minus?     ( c-addr1 u1 -- c-addr2 u2 flag )
  dup if over c@ [char] - = if 1 /string true exit then then false ;
: signed-number ( c-addr u -- n 1 | d 2 | 0 )
  minus? >r  dup 0= if 2drop rdrop 0 exit then
  dup >r 0 0 2swap >number        ( ud c-addr' u' ) ( R: sign u )
  dup r> = if 2drop 2drop rdrop 0 exit then
  dup 0= if 2drop drop r> if negate then 1 exit then
  1 = swap c@ [char] . = and if r> if dnegate then 2 exit then
  2drop rdrop 0 ;
: number?    ( c-addr u -- n 1 | d 2 | 0 )
  2dup char-literal? if drop 1+ c@ 1 exit then
  base @ >r prefix-base signed-number r> base ! ;

\ The interpreter
: ?stack     ( -- )
  sp@ sp0 u> if -4 throw then
  sp@ sp-limit @p u< if -3 throw then
  rp@ rp-limit @p u< if -5 throw then
  fp @ fp0 @ u> if -45 throw then ;
: not-a-number ( c-addr u -- )  2drop -13 throw ;
DEFER other-number ( c-addr u -- i*x )   \ text that is no integer: the float literals
' not-a-number IS other-number
: interpret-number ( c-addr u -- i*x )
  2dup 2>r number? ?dup 0= if 2r> other-number exit then  2r> 2drop
  state @ if 1 = if literal, else swap literal, literal, then else drop then ;
: interpret-name ( c-addr u -- i*x )
  2dup last-word 2!
  2dup find-name ?dup if
    nip nip  state @ if dup immediate? 0= if name>xt compile, exit then
    else dup name>flags $20 and if -14 throw then then
    name>xt execute exit
  then interpret-number ;
: interpret  ( i*x -- j*x )
  begin parse-name dup while interpret-name ?stack repeat 2drop ;

: evaluate   ( i*x c-addr u -- j*x )
  push-input  src 2!  -1 src-id !  0 >in !  0 blk !  interpret  pop-input ;

\ Source files. A file being included has a slot in the heap (see
\ SLOT-FOR); it goes when the file ends, also through an exception.
VARIABLE included-list   \ names INCLUDED read, for REQUIRED

: read-lines ( i*x -- j*x )  begin refill while interpret repeat ;
: (include) ( i*x fileid c-addr u own -- j*x )   \ own: INCLUDED opened the file
  #input @ #frames = if -256 throw then
  >r tuck /first-line slot-for ?dup 0= if -59 throw then
  push-input  r> src-own !  swap use-slot  src-id !
  0 line# !  1 file-depth +!  0 0 src 2!  0 >in !  0 blk !
  ['] read-lines catch  src-slot @ pop-input system-free  rethrow ;
: (include-file) ( i*x fileid c-addr u -- j*x )  false (include) ;
: include-file ( i*x fileid -- j*x )  dup file-name (include-file) ;

\ A relative name in a file being included is looked for beside that file
\ first, then in the current directory. The name kept is the one opened.
: dir-part   ( c-addr u -- c-addr u' )   \ up to the last /, or empty
  begin dup while 2dup + 1- c@ [char] / <> while 1- repeat then ;
: relative?  ( c-addr u -- flag )  if c@ [char] / <> else drop false then ;
: join-names ( c-addr1 u1 c-addr2 u2 -- c-addr3 u3 )   \ in zname; u3 is 0 if too long
  2 pick over + /zname u< 0= if 2drop 2drop zname 0 exit then
  2swap tuck zname swap move  >r  zname r@ + swap dup >r move  zname r> r> + ;
: open-beside ( c-addr u -- fileid true | false )
  src-name 2@ dir-part 2swap join-names ?dup 0= if drop false exit then
  r/o open-file if drop 0 file-ior ! false exit then  true ;
: open-source ( c-addr1 u1 -- c-addr2 u2 fileid )   \ throws, naming the file, if it cannot be read
  2dup relative? file-depth @ 0> and if
    2dup open-beside if nip nip dup file-name rot exit then
  then
  2dup r/o open-file ?dup if nip file-throw then  nip nip dup file-name rot ;
\ While a file that INCLUDED opened includes another, it is closed, and
\ opened again at the same place when the other ends: the host's limit on
\ open files does not limit how deep files nest.
: suspend-source ( -- )
  src-own @ 0= if exit then
  src-id @ file-position throw drop src-resume !
  src-id @ handle (fclose) drop  -1 src-id @ >record ! ;
: resume-source ( -- )
  src-own @ 0= if exit then
  src-id @ >record dup record-name >zname drop  swap cell+ @ host-open
  ?dup if src-name 2@ rot file-throw then  src-id @ >record !
  src-resume @ 0 src-id @ reposition-file  src-name 2@ rot file-throw ;
: remember   ( c-addr u -- )   \ the link, the length, the name
  align here included-list @ , included-list !  dup , here swap dup allot move align ;
: included?  ( c-addr u -- flag )
  included-list @ begin dup while
    >r 2dup r@ cell+ dup cell+ swap @ str= if 2drop rdrop true exit then r> @
  repeat nip nip ;
: remember-once ( c-addr u -- )  2dup included? if 2drop else remember then ;
: open-suspended ( c-addr1 u1 -- c-addr2 u2 fileid )   \ the file being read closed for now
  suspend-source ['] open-source catch ?dup if nip nip resume-source rethrow then ;
: include-opened ( i*x c-addr u fileid -- j*x )   \ and closes it
  >r 2dup remember-once  r@ -rot true ['] (include) catch  r> close-file drop  resume-source rethrow ;
: included   ( i*x c-addr u -- j*x )  open-suspended include-opened ;
: include    ( i*x "name" -- j*x )  parse-name included ;
: required   ( i*x c-addr u -- i*x )
  open-suspended >r 2dup included? if 2drop r> close-file drop resume-source exit then
  r> include-opened ;
: require    ( i*x "name" -- i*x )  parse-name required ;

\ Errors: where, what, and the message for the code.
DEFER .message  ( n -- )
: .error-code ( n -- )  ." error " (.) type ;
: .location  ( -- )
  err-name 2@ dup if type [char] : emit err-line @ (u.) type ." : " else 2drop then ;
: report     ( n -- )   \ an exception no program caught: a half-made definition goes
  drop-definition  dup -1 = over -56 = or if drop exit then
  cr .location  err-word 2@ dup if type ." : " else 2drop then
  dup -2 = if drop abort-msg 2@ type else .message then cr ;
: abort      ( i*x -- )  -1 throw ;
\ Ctrl-C while a word runs: the machine calls this word as if the running
\ code had called it (DEBUG's interrupt handler, set by INIT).
: user-interrupt ( -- )  -28 throw ;
: catch-interrupts ( -- )  ['] user-interrupt $0200 (debug) drop ;
: (abort")   ( i*x x1 c-addr u -- | i*x )  rot if abort-msg 2! -2 throw then 2drop ;

\ Comments and strings
: (          ( "ccc<paren>" -- )   \ in a file, runs on over line ends
  begin /source [char] ) scan nip 0= src-id @ 0> and while
    refill 0= if exit then
  repeat  [char] ) parse 2drop ; immediate
: \          ( "ccc<eol>" -- )   \ in a block, to the end of its line of 64
  blk @ if >in @ 63 + -64 and >in ! exit then  source nip >in ! ; immediate
: .(         ( "ccc<paren>" -- )  [char] ) parse type ; immediate
: string,    ( c-addr u -- addr )  here >r dup allot r@ swap move r> align ;
: sliteral   ( c-addr u -- )  tuck string, literal, literal, ;
\ An interpreted string lives in a block of the heap; the last #strings
\ made stay, so that one stays valid while #strings - 1 more are made.
: keep-string ( c-addr u -- c-addr u )   \ the oldest string kept goes
  next-string @ cells strings +  dup @ system-free  2 pick swap !
  next-string @ 1+ dup #strings = if drop 0 then next-string ! ;
: s"         ( "ccc<quote>" -- c-addr u )
  [char] " parse  state @ if sliteral exit then
  heap-string over 0= if -18 throw then  keep-string ; immediate
: ."         ( "ccc<quote>" -- )   \ interpreted, prints the text at once
  [char] " parse  state @ if sliteral ['] type call, exit then  type ; immediate
: c"         ( "ccc<quote>" -- )
  [char] " parse here >r dup c, here swap dup allot move align r> literal, ; immediate compile-only
: abort"     ( "ccc<quote>" -- )  [char] " parse sliteral ['] (abort") call, ; immediate compile-only
: find-or-throw ( c-addr u -- nt )  2dup find-name ?dup if nip nip exit then last-word 2! -13 throw ;
: '          ( "<spaces>name" -- xt )  parse-name find-or-throw name>xt ;
: [']        ( "<spaces>name" -- )  ' literal, ; immediate compile-only
: [char]     ( "<spaces>name" -- )  char literal, ; immediate compile-only
: postpone   ( "<spaces>name" -- )
  parse-name find-or-throw dup name>xt swap immediate?
  if compile, else literal, ['] compile, call, then ; immediate compile-only
: find       ( c-addr -- c-addr 0 | xt 1 | xt -1 )
  dup count find-name dup if nip dup name>xt swap immediate? if 1 else -1 then then ;

\ The rest of the CORE words
: depth      ( -- +n )  sp@ sp0 swap - 2 arshift ;
: decimal    ( -- )  10 base ! ;
: hex        ( -- )  16 base ! ;
: pad        ( -- c-addr )  pb ;

\ Whether keys come from a terminal and text goes to one. A terminal device
\ answers FPAR@ with its binary bit (bit 0) set; anything else answers the
\ parameters last read or set, so those are set to zeros first, on a device
\ that is no terminal.
VARIABLE terminal-input   \ keys come from a terminal: errors there end no run
: zero-line-parameters ( -- )
  s" /dev/null" r/o open-file if drop exit then
  >r 0 0 r@ handle (fpar!) drop r> close-file drop ;
: terminal?  ( c-addr u -- flag )
  zero-line-parameters  r/o open-file if drop false exit then
  dup handle (fpar@) if false else drop 1 and 0<> then  swap close-file drop ;
: probe-terminals ( -- )
  s" /dev/stdin" terminal? terminal-input !  s" /dev/stdout" terminal? crlf ! ;

\ Leaving: BYE with status 0, (BYE) with any. An error that no CATCH takes
\ ends a script (the argument text, piped keys, a turnkey word) with status 1.
: (bye)      ( n -- )  $100 (debug) ;
: end-script ( -- )  1 (bye) ;

\ The interactive loop
: reset-input ( -- )
  0 #input !  0 file-depth !  0 src-id !  0 line# !  0 0 src-name 2!  tib 0 src 2!  0 >in !
  0 blk !  false src-own ! ;
: prompt     ( -- )  state @ if ."  compiled" else ."  ok" then cr ;
: serve      ( -- )  begin refill drop interpret prompt again ;
: quit       ( -- )
  begin
    rp0 rp! reset-input  no-locals lp0 @ lp !  fp0 @ fp !  false state !
    ['] serve catch report  terminal-input @ 0= if end-script then  sp0 sp!
  again ;
: (no-catch) ( n -- )  report  terminal-input @ 0= if end-script then  sp0 sp! quit ;

\ Saving: the code, then the data space after it at #pv, with its length.
: stamp      ( paddr u -- x )   \ a checksum of program memory
  0 -rot bounds ?do dup 5 lshift swap 27 rshift or i @p xor 4 +loop ;
: nop-pad    ( paddr1 paddr2 -- )  swap ?do op-nop i code-c! loop ;
: image-end  ( -- paddr )
  code-here aligned  code-here over nop-pad
  here aligned data-start -  2dup + cell+ code-limit u> if -8 throw then
  2dup swap code!  data-start 2 pick cell+ 2 pick flash
  over 8 code!  + cell+ ;
: save-system ( c-addr u -- )
  image-end dup 80 swap over - stamp 4 code!
  >r 2dup r/w create-file ?dup if rdrop nip file-throw exit then
  0 p>x r> 3 pick handle (fwrite) swap close-file drop file-throw ;

\ The start: the memory layout, variables from #pv, the argument text,
\ the loop.
\ The layout from the end of variable memory: each stack a sixteenth of
\ the memory, the data stack's overflow guard half that, the locals a
\ quarter (see memory.fs).
\ A stack limit is written only when it changes: the write drops the
\ translations made from it.
: limit!     ( x paddr -- )  2dup @p = if 2drop exit then code! ;
: lay-out    ( top -- )
  -16 and dup mem-top !
  dup data-origin - 4 rshift -16 and >r
  /rguard - dup rp0-cell !
  r@ - dup /rmargin + rp-limit limit!
  /sguard - dup sp0-cell !
  r@ - dup sp-limit limit!
  r@ 1 rshift - dup lp0 !
  r> 2 rshift - dup lp-limit !
  heap-top ! ;
\ A return past the bottom of the return stack lands here.
: rstack-underflow ( -- )  rp0 rp!  0 handler !  -6 throw ;
: guard-rstack ( -- )
  mem-top @ rp0 do ['] rstack-underflow i ! 4 +loop ;
: restore-data ( -- )  #pv dup cell+ swap @p data-start swap pmove ;
: init       ( -- )
  decimal  false state !  0 handler !  0 terminal-line !  lp0 @ lp !  fp0 @ fp !  no-locals  0 after-cr !
  end-definition
  close-records  0 file-ior !  0 next-string !  strings #strings cells erase
  block-buffers 6 cells erase
  0 0 last-word 2!  0 0 err-word 2!  0 0 err-name 2!  reset-input  catch-interrupts ;
: banner     ( -- )  ." Norvex Forth 1.0" cr ;
: xcount     ( a -- a u )  0 begin 2dup + 0 c@x while 1+ repeat ;
: xmove      ( a c-addr u -- )  0 ?do over i + 0 c@x over i + c! loop 2drop ;
\ The argument text is kept in the heap for the whole run.
: argument   ( -- c-addr u )
  (getpar) throw dup 0= if 0 exit then
  xcount dup >r system-allocate dup 0= if -59 throw then  tuck r@ xmove r> ;
: interpret-arguments ( c-addr u -- )
  dup if
    ['] evaluate catch ?dup if report end-script then prompt
  else 2drop then ;
\ norvex-rom FILE args: when the first word is no word but names a file
\ that can be read, the file runs, without the version line, and ARGUMENTS
\ gives the text after its name.
: split-word ( c-addr u -- c-addr1 u1 c-addr2 u2 )   \ the first word, the text after it
  skip-blanks 2dup scan-blank 2swap drop 2 pick over - 2swap dup if 1 /string then ;
: script?    ( c-addr u -- flag )
  2dup find-name if 2drop false exit then
  r/o open-file if drop false exit then  close-file drop true ;
: run-script ( c-addr u -- )  ['] included catch ?dup if report end-script then ;
: (start-up) ( -- )
  args 2@ split-word 2over script? if args 2! run-script quit then 2drop 2drop
  banner args 2@ interpret-arguments quit ;
DEFER start-up  ( -- )   \ what the system does once it has its argument text
' (start-up) IS start-up
: cold       ( -- )
  rp@ lay-out  rp0 rp!  sp0 sp!  guard-rstack
  restore-data heap-init init  probe-terminals  argument args 2!  start-up ;
