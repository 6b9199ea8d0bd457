\ Debugging with the processor's monitor. BREAK name sets a break on the
\ first instruction of name: when the word next runs, the monitor stops
\ there, shows the trace line and waits for a key. ESC ends the run,
\ Enter runs on freely, s steps over a call, u runs until the word returns,
\ any other key runs one instruction. DEBUG name runs the word at once,
\ stopped at its first instruction. Until the break is reached the
\ processor runs one instruction at a time, so slowly.

: called  ( xt -- xt )   \ a word whose code runs when it is used
  dup xt>name ?dup if name>flags $40 and if -21 throw then then ;
: break-at ( xt -- )  $08 (debug) throw ;
: break    ( "<spaces>name" -- )  ' called break-at ;
: unbreak  ( -- )  0 0 (debug) throw ;
: debug    ( i*x "<spaces>name" -- j*x )  ' called dup break-at execute ;
