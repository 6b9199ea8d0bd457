\ The line editor of ACCEPT on a terminal. Keys come as EKEY gives them:
\ characters, and the cursor keys that the terminal sends as escape
\ sequences.
\
\   left, right, Ctrl-B, Ctrl-F   move the cursor
\   Home, End, Ctrl-A, Ctrl-E     to the start or the end of the line
\   Backspace (8 or 127)          deletes the character before the cursor
\   Delete                        deletes the character at the cursor
\   Ctrl-K, Ctrl-U                delete to the end, to the start
\   up, down, Ctrl-P, Ctrl-N      earlier and later lines
\   Enter                         ends the line; Ctrl-D on an empty line leaves
\
\ The terminal's cursor follows: BS moves it back, the characters under it
\ move it on. Characters are bytes. Piped input goes to the plain ACCEPT of
\ the kernel, which only knows Backspace and the line ends.

variable line      \ the buffer
variable room      \ its size
variable len       \ characters in it
variable cur       \ the cursor, 0 .. len
: line-at   ( n -- c-addr )  line @ + ;
: back      ( n -- )  0 max 0 ?do #bs emit loop ;
: .from-cursor ( -- )  cur @ line-at len @ cur @ - type ;
: show-tail ( n -- )   \ the text from the cursor on, n blanks over what was there
  .from-cursor dup spaces  len @ cur @ - + back ;

: insert    ( char -- )
  len @ room @ = if drop exit then
  cur @ line-at dup 1+ len @ cur @ - move  cur @ line-at c!  1 len +!
  .from-cursor  1 cur +!  len @ cur @ - back ;
: delete    ( -- )   \ the character at the cursor
  cur @ len @ = if exit then
  cur @ 1+ line-at cur @ line-at len @ cur @ - 1- move  -1 len +!  1 show-tail ;
: rub-out   ( -- )  cur @ 0= if exit then  #bs emit -1 cur +! delete ;
: left      ( -- )  cur @ if #bs emit -1 cur +! then ;
: right     ( -- )  cur @ len @ < if cur @ line-at c@ emit 1 cur +! then ;
: to-start  ( -- )  cur @ back 0 cur ! ;
: to-end    ( -- )  .from-cursor len @ cur ! ;
: kill-end  ( -- )  len @ cur @ -  cur @ len !  show-tail ;
: kill-start ( -- )
  cur @ dup 0= if drop exit then  dup back
  line @ over line-at swap len @ cur @ - move  dup negate len +!  0 cur !  show-tail ;
: set-line  ( c-addr u -- )   \ the line becomes c-addr u
  room @ min  to-start  dup >r line @ swap move
  line @ r@ type  len @ r@ - 0 max dup spaces back  r@ len ! r> cur ! ;

\ The history: the last 16 lines entered, newest first, copied into the
\ heap. Up and down walk through it; the line being typed waits in draft.
16 constant #history
create history  #history 2* cells allot
create draft  256 allot
variable draft-len
variable shown     \ the history line shown, or -1 for the line being typed
: history@  ( i -- c-addr u )  2* cells history + 2@ ;
: clear-history ( -- )  history #history 2* cells erase ;
: newest?   ( c-addr u -- flag )  0 history@ str= ;
: remember-line ( c-addr u -- )
  dup 0= if 2drop exit then  2dup newest? if 2drop exit then
  #history 1- history@ drop ?dup if free drop then
  history dup 2 cells + #history 1- 2* cells move
  dup allocate if drop 2drop 0 0 history 2! exit then
  dup >r swap dup >r move r> r> swap history 2! ;
: older     ( -- )
  shown @ 1+ dup #history = if drop exit then
  dup history@ nip 0= if drop exit then
  shown @ 0< if line @ draft len @ 256 min dup draft-len ! move then
  dup shown ! history@ set-line ;
: newer     ( -- )
  shown @ dup 0< if drop exit then
  1- dup shown ! dup 0< if drop draft draft-len @ else history@ then set-line ;

: line-done ( -- +n )  to-end  line @ len @ remember-line  len @ space ;
: edit-key  ( x -- flag )   \ flag: the line is complete
  case
    #cr of true endof
    #lf of true endof
    #eot of len @ 0= if bye then true endof
    #bs of rub-out false endof
    #del of rub-out false endof
    k-left of left false endof      2 of left false endof
    k-right of right false endof    6 of right false endof
    k-home of to-start false endof  1 of to-start false endof
    k-end of to-end false endof     5 of to-end false endof
    k-delete of delete false endof
    11 of kill-end false endof      21 of kill-start false endof
    k-up of older false endof       16 of older false endof
    k-down of newer false endof     14 of newer false endof
    dup bl 256 within if dup insert then false swap
  endcase ;
: edit-line ( c-addr +n1 -- +n2 )
  room ! line !  0 len ! 0 cur ! -1 shown !
  begin ekey edit-key until  line-done ;

: system-accept ( c-addr +n1 -- +n2 )
  terminal-input @ if edit-line else (accept) then ;
' system-accept is accept

\ EDITOR: the words of the line editor a user may want.
vocabulary editor
get-current  ' editor >body set-current
: .history ( -- )   \ the lines remembered, oldest first
  0 #history 1- do i history@ ?dup if cr type else drop then -1 +loop ;
: forget-history ( -- )  #history 0 ?do i history@ drop ?dup if free drop then loop clear-history ;
set-current
