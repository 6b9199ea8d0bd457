\ The system's start: what COLD does once the argument text is in place,
\ and the turnkey form of SAVE-SYSTEM.

variable boot-xt   \ a turnkey image runs this word instead of the loop
: arguments ( -- c-addr u )  args 2@ ;   \ the text after the program's name
: next-arg  ( -- c-addr u )   \ the next word of ARGUMENTS, taken from it; u is 0 at the end
  args 2@ split-word args 2! ;
: #!  ( "ccc<eol>" -- )  postpone \ ; immediate   \ #!/usr/bin/env norvex-rom

: run-turnkey ( xt -- )  catch ?dup if report end-script then  bye ;
: system-start ( -- )
  -1 pending-key !  0 substitutions !  clear-history  0 0 history-file 2!
  terminal-input @ if load-history then
  boot-xt @ ?dup if run-turnkey then  (start-up) ;
' system-start is start-up

\ TURNKEY: an image that runs xt when it starts (ARGUMENTS gives it the
\ command line's text) and leaves when xt returns. An exception is
\ reported, and the image leaves too.
: turnkey  ( xt c-addr u -- )
  rot boot-xt !  ['] save-system catch  0 boot-xt !  throw ;
