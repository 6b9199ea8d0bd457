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
\   Tab                           completes the name before the cursor
\   Enter                         ends the line; Ctrl-D on an empty line leaves
\
\ Characters are UTF-8: the editor moves over and deletes whole
\ characters, and East Asian wide ones take two columns. Piped input goes
\ to the plain ACCEPT of the kernel, which only knows Backspace and the
\ line ends.

variable line      \ the buffer
variable room      \ its size
variable len       \ bytes in it
variable cur       \ the cursor, a byte offset at the start of a character
: line-at   ( n -- c-addr )  line @ + ;

\ UTF-8. A character that is not well formed is taken a byte at a time.
: continuation? ( char -- flag )  $C0 and $80 = ;
: seq-length ( char -- n )   \ the bytes of a sequence that starts with char
  dup $C0 u< if drop 1 exit then  dup $E0 u< if drop 2 exit then
  dup $F0 u< if drop 3 exit then  $F8 u< if 4 else 1 then ;
: continued? ( c-addr n -- flag )   \ bytes 1 .. n-1 are continuation bytes
  true swap 1 ?do over i + c@ continuation? and loop nip ;
: char-bytes ( c-addr u -- n )   \ the bytes of the character at c-addr, u there
  over c@ dup $C0 $F8 within 0= if 2drop drop 1 exit then
  seq-length tuck u< if drop 1 exit then
  2dup continued? if nip else 2drop 1 then ;
: code-point ( c-addr n -- u )
  dup 1 = if drop c@ exit then
  over c@ $7F 2 pick rshift and  swap 1 ?do 6 lshift over i + c@ $3F and or loop nip ;

\ Ranges of code points, first and last, ending with 0.
create wide-chars   \ East Asian wide and fullwidth, and the emoji blocks
  $1100 , $115F ,  $2E80 , $303E ,  $3041 , $33FF ,  $3400 , $4DBF ,
  $4E00 , $9FFF ,  $A000 , $A4CF ,  $AC00 , $D7A3 ,  $F900 , $FAFF ,
  $FE30 , $FE4F ,  $FF00 , $FF60 ,  $FFE0 , $FFE6 ,  $1F300 , $1F64F ,
  $1F900 , $1F9FF ,  $20000 , $3FFFD ,  0 ,
create zero-width-chars   \ combining marks, zero-width spaces, variation selectors
  $300 , $36F ,  $200B , $200F ,  $20D0 , $20FF ,  $FE00 , $FE0F ,  0 ,
: in-ranges? ( u a-addr -- flag )
  begin dup @ while 2dup 2@ swap 1+ within if 2drop true exit then 2 cells + repeat 2drop false ;
: char-width ( c-addr n -- u )   \ the columns the character takes
  code-point dup zero-width-chars in-ranges? if drop 0 exit then
  wide-chars in-ranges? if 2 else 1 then ;

: next-char ( n -- n' )  dup line-at len @ 2 pick - char-bytes + ;
: prev-char ( n -- n' )   \ n > 0
  dup 1- begin dup 0> over line-at c@ continuation? and 2 pick 2 pick - 4 < and while 1- repeat
  tuck next-char over = if drop else nip 1- then ;
: width-at  ( n -- u )  dup line-at len @ rot - over swap char-bytes char-width ;

\ The terminal's cursor. A position counts columns from the first column
\ of the row the line starts on; the line starts at origin.
variable origin
variable at        \ where the terminal's cursor is
variable width     \ columns of the window
: columns   ( n1 n2 -- u )   \ of the characters from n1 up to n2
  >r 0 swap begin dup r@ u< while dup width-at rot + swap next-char repeat drop rdrop ;
\ The columns up to the last position asked for are kept, so that typing or
\ pasting at the end of a long line costs the new characters only, not the
\ whole line again for every key.
variable known-n   \ a character boundary in the line
variable known-columns   \ the columns of the characters before it
: changed   ( n -- )   \ the bytes from n on are no longer what they were
  known-n @ < if 0 known-n ! 0 known-columns ! then ;
: pos       ( n -- p )
  dup changed  known-n @ over columns known-columns +!  known-n !
  known-columns @ origin @ + ;
: row       ( p -- u )  width @ / ;
: col       ( p -- u )  width @ mod ;
: back      ( n -- )  0 max 0 ?do #bs emit loop ;
: sequence  ( n char -- )   \ ESC [ n char, n in decimal
  base @ >r decimal  27 emit [char] [ emit  swap (u.) type emit  r> base ! ;
: to-row    ( r0 r -- )
  2dup = if 2drop exit then
  2dup > if - [char] A sequence else swap - [char] B sequence then ;
: to-column ( c0 c -- )
  2dup = if 2drop exit then
  2dup > if dup 0= if 2drop #cr emit else - back then exit then
  swap - [char] C sequence ;
: move-to   ( p -- )  at @ row over row to-row  at @ col over col to-column  at ! ;
\ The characters from n1 up to n2, written where they belong. Text that
\ ends at the end of a row leaves the terminal's cursor there, waiting to
\ wrap: CR LF takes it to the next row.
: show      ( n1 n2 -- )
  over pos move-to  2dup = if 2drop exit then
  dup pos >r  over line-at -rot swap - type  r> at !  at @ col 0= if #cr emit #lf emit then ;
: redraw    ( n -- )   \ the line from n on, what was there after it cleared
  len @ show  0 [char] J sequence  cur @ pos move-to ;

\ Editing
: insert-bytes ( c-addr u -- )
  len @ over + room @ u> if 2drop exit then  cur @ changed
  cur @ line-at  dup 2 pick +  len @ cur @ - move
  dup len +!  cur @ dup >r line-at swap dup cur +! move
  r> cur @ len @ over = if show else drop redraw then ;
: tail-end?  ( n1 n2 -- flag )   \ n2 ends the line, the cursor is there, on n1's row
  dup len @ <> if 2drop false exit then
  pos dup at @ <> if 2drop false exit then  row swap pos row = ;
: delete-range ( n1 n2 -- )   \ the bytes from n1 up to n2
  2dup = if 2drop exit then
  2dup tail-end? >r  2dup columns >r  over changed
  dup line-at 2 pick line-at len @ 3 pick - move  over - negate len +!  cur !
  r> r> if   \ BS blank BS, as on any terminal
    dup back dup spaces back  cur @ pos at ! exit
  then drop cur @ redraw ;
: rub-out   ( -- )  cur @ 0= if exit then  cur @ prev-char cur @ delete-range ;
: delete    ( -- )  cur @ len @ = if exit then  cur @ dup next-char delete-range ;
: left      ( -- )  cur @ if cur @ prev-char cur ! cur @ pos move-to then ;
: right     ( -- )  cur @ len @ < if cur @ next-char cur ! cur @ pos move-to then ;
: to-start  ( -- )  0 cur !  origin @ move-to ;
: to-end    ( -- )  len @ cur !  cur @ pos move-to ;
: kill-end  ( -- )  cur @ len @ delete-range ;
: kill-start ( -- )  0 cur @ delete-range ;
: set-line  ( c-addr u -- )   \ the line becomes c-addr u
  room @ min  dup len ! cur !  0 changed  line @ len @ move  0 redraw ;

\ A character typed arrives a byte at a time: the bytes of a sequence wait
\ until it is complete.
create pending  4 allot
variable #pending
: take-pending ( -- )  pending #pending @  0 #pending !  insert-bytes ;
: pending-done? ( -- flag )  #pending @ pending c@ seq-length = ;
: key-byte  ( char -- )
  dup continuation? #pending @ 0<> and if
    pending #pending @ + c!  1 #pending +!  pending-done? if take-pending then exit
  then
  #pending @ if take-pending then
  pending c!  1 #pending !  pending-done? if take-pending then ;

\ The history: the last lines entered, in the system's part of the heap,
\ in a ring; entry 0 is the newest. Up and down walk through it; the line
\ being typed waits in draft. On a terminal the lines are kept across
\ sessions in ~/.norvex-history, each added to it when it is entered.
1000 constant #history
create history  #history 2* cells allot
variable newest    \ the ring's slot of entry 0
variable shown     \ the entry shown, or -1 for the line being typed
2variable draft
: history-slot ( i -- a-addr )  newest @ swap - #history + #history mod 2* cells history + ;
: history@  ( i -- c-addr u )  history-slot 2@ ;
: clear-history ( -- )  history #history 2* cells erase  0 newest !  0 0 draft 2! ;
: heap-copy ( c-addr u -- c-addr' u | 0 0 )
  dup system-allocate ?dup 0= if 2drop 0 0 exit then  swap >r tuck r@ move r> ;
: remember-line ( c-addr u -- )
  dup 0= if 2drop exit then  2dup 0 history@ str= if 2drop exit then
  newest @ 1+ #history mod newest !  0 history-slot  dup cell+ @ system-free
  >r heap-copy r> 2! ;
: keep-draft ( -- )  draft cell+ @ system-free  line @ len @ heap-copy draft 2! ;
: older     ( -- )
  shown @ 1+ dup #history = if drop exit then
  dup history@ nip 0= if drop exit then
  shown @ 0< if keep-draft then  dup shown ! history@ set-line ;
: newer     ( -- )
  shown @ dup 0< if drop exit then
  1- dup shown ! dup 0< if drop draft 2@ else history@ then set-line ;

\ The history file: $HOME/.norvex-history, none without HOME. The
\ environment is read from /proc/self/environ.
2variable history-file
variable #loaded   \ lines the file had
: environment ( -- c-addr u | 0 0 )   \ NUL-separated NAME=value entries, in the heap
  s" /proc/self/environ" r/o open-file if drop 0 0 exit then  >r
  65536 system-allocate dup 0= if r> close-file drop 0 exit then
  dup 65536 r@ read-file  r> close-file drop  if drop system-free 0 0 then ;
: home      ( c-addr u -- c-addr' u' )   \ the value of HOME in the entries; u' is 0 if none
  begin dup while
    2dup 0 scan 2>r  2r@ nip -
    dup 5 u> if over 5 s" HOME=" str= if 2r> 2drop 5 /string exit then then
    2drop 2r> dup if 1 /string then
  repeat ;
: history-name ( c-addr u -- )   \ the file's name in the directory c-addr u
  dup 16 + system-allocate ?dup 0= if 2drop exit then
  >r tuck r@ swap move  s" /.norvex-history" 2 pick r@ + swap move  r> swap 16 + history-file 2! ;
: find-history-file ( -- )
  0 0 history-file 2!  environment over >r home ?dup if history-name else drop then  r> system-free ;
: new-line? ( c-addr u -- flag )   \ not empty, and not the newest line again
  dup 0<> >r 0 history@ str= 0= r> and ;
: load-lines ( c-addr u -- )   \ each line of the text into the history
  begin dup while
    2dup #lf scan 2>r  2r@ nip -  1 #loaded +!
    2dup new-line? if remember-line else 2drop then
    2r> dup if 1 /string then
  repeat 2drop ;
: read-history ( -- )
  0 #loaded !  history-file 2@ r/o open-file if drop exit then  >r
  r@ file-size if 2drop r> close-file drop exit then  drop
  dup system-allocate ?dup 0= if drop r> close-file drop exit then
  tuck swap r@ read-file  r> close-file drop  if drop system-free exit then
  over swap load-lines system-free ;
: write-history ( -- )   \ the file anew, with the lines kept, oldest first
  history-file 2@ w/o create-file if drop exit then
  0 #history 1- do i history@ ?dup if 2 pick write-line drop else drop then -1 +loop
  close-file drop ;
: load-history ( -- )   \ and bounds the file to the lines kept
  find-history-file  history-file @ 0= if exit then
  read-history  #loaded @ #history > if write-history then ;
: open-history ( -- fileid true | false )   \ made if it is not there
  history-file 2@ dup 0= if 2drop false exit then
  2dup w/o open-file ?dup 0= if nip nip true exit then
  2 <> if drop 2drop false exit then  drop
  w/o create-file if drop false else true then ;
: append-history ( c-addr u -- )
  open-history 0= if 2drop exit then  >r
  r@ file-size 0= if r@ reposition-file drop else 2drop then
  r@ write-line drop  r> close-file drop ;

\ Tab completes the name before the cursor from the search order: a
\ single name whole, followed by a blank; several as far as they agree.
\ A second Tab lists them.
variable prefix-at     variable prefix-len
variable #found        variable common        variable common-len
variable tab-before    \ the key before was Tab too
: word-start ( -- n )   \ of the word before the cursor
  cur @ begin dup while dup 1- line-at c@ bl u> while 1- repeat then ;
: starts?   ( nt -- flag )   \ its name begins with the prefix, case aside
  name>string prefix-len @ u< if drop false exit then  prefix-at @ prefix-len @ names= ;
: candidate? ( nt -- flag )  dup starts? if dup name>string find-name = else drop false then ;
: agree     ( c-addr1 c-addr2 u -- n )   \ the characters alike at the start, case aside
  dup 0 ?do 2 pick i + c@ upc 2 pick i + c@ upc <> if drop i leave then loop nip nip ;
: note-candidate ( nt -- )
  name>string  1 #found +!  #found @ 1 = if common-len ! common ! exit then
  common-len @ min common @ swap agree common-len ! ;
: consider  ( nt -- true )  dup candidate? if note-candidate else drop then true ;
: each-candidate ( xt -- )   \ xt ( nt -- true ) over each word list searched, once
  #order @ 0 ?do i searched-before? 0= if dup i cells context + @ traverse-wordlist then loop drop ;

variable found     \ the names to list, an array in the heap
variable #kept
: found-at  ( i -- a-addr )  cells found @ + ;
: keep-candidate ( nt -- true )
  dup candidate? if #kept @ found-at !  1 #kept +! else drop then  true ;
: name<     ( nt1 nt2 -- flag )  >r name>string r> name>string compare 0< ;
: sort-found ( -- )   \ by name
  #kept @ 1 ?do
    i found-at @ i
    begin dup 0> while over over 1- found-at @ name< while
      dup 1- found-at @ over found-at !  1-
    repeat then  found-at !
  loop ;
: .candidates ( -- )   \ in columns as wide as the longest name
  0 #kept @ 0 ?do i found-at @ name>string nip max loop 2 +
  width @ over / 1 max swap
  #kept @ 0 ?do
    over i swap mod 0= if #cr emit #lf emit then
    i found-at @ name>string tuck type over swap - spaces
  loop 2drop ;
: list-candidates ( -- )   \ under the line, which is then shown again
  #found @ cells system-allocate ?dup 0= if exit then  found !  0 #kept !
  ['] keep-candidate each-candidate  sort-found
  len @ pos move-to  .candidates  found @ system-free
  #cr emit #lf emit  0 at !  0 redraw ;
: complete  ( -- )
  word-start dup line-at prefix-at !  cur @ swap - prefix-len !
  0 #found !  ['] consider each-candidate  #found @ 0= if exit then
  common-len @ prefix-len @ - ?dup if
    common @ prefix-len @ + swap insert-bytes  #found @ 1 = if s"  " insert-bytes then exit
  then
  #found @ 1 = if s"  " insert-bytes exit then
  tab-before @ if list-candidates then ;

: line-done ( -- +n )
  #pending @ if take-pending then  to-end
  line @ len @ 2dup new-line? if 2dup append-history remember-line else 2drop then  len @ space ;
: edit-key  ( x -- flag )   \ flag: the line is complete
  dup bl 256 within 0= #pending @ 0<> and if take-pending then
  case
    #cr of true endof
    #lf of true endof
    #eot of len @ 0= if bye then true endof
    #bs of rub-out false endof
    #del of rub-out false endof
    9 of complete false endof
    k-left of left false endof      2 of left false endof
    k-right of right false endof    6 of right false endof
    k-home of to-start false endof  1 of to-start false endof
    k-end of to-end false endof     5 of to-end false endof
    k-delete of delete false endof
    11 of kill-end false endof      21 of kill-start false endof
    k-up of older false endof       16 of older false endof
    k-down of newer false endof     14 of newer false endof
    dup bl 256 within if dup key-byte then false swap
  endcase ;
: window-width ( -- u )  screen-size drop ?dup 0= if $10000000 then ;
: edit-line ( c-addr +n1 -- +n2 )
  room ! line !  0 len ! 0 cur ! -1 shown !  0 #pending !  false tab-before !  0 changed
  window-width width !  at-xy? drop width @ mod dup origin ! at !
  begin ekey dup >r edit-key r> 9 = tab-before ! until  line-done ;

: system-accept ( c-addr +n1 -- +n2 )
  terminal-input @ if edit-line else (accept) then ;
' system-accept is accept

\ EDITOR: the words of the line editor a user may want.
vocabulary editor
get-current  ' editor >body set-current
: .history ( -- )   \ the lines remembered, oldest first
  0 #history 1- do i history@ ?dup if cr type else drop then -1 +loop ;
: forget-history ( -- )   \ here and in the history file
  #history 0 ?do i history-slot cell+ @ system-free loop  clear-history
  history-file @ if write-history then ;
set-current
