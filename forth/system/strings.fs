\ STRING: comparing, searching and editing strings, and text substitution.

: -trailing  ( c-addr u1 -- c-addr u2 )
  begin dup while 2dup + 1- c@ bl = while 1- repeat then ;
: blank      ( c-addr u -- )  bl fill ;
: sliteral   ( c-addr u -- )  sliteral ; immediate compile-only

: sign-of    ( n -- -1 | 0 | 1 )  dup 0< swap 0> - ;
: compare    ( c-addr1 u1 c-addr2 u2 -- n )
  rot 2dup 2>r min 0 ?do
    over i + c@ over i + c@ - ?dup if sign-of nip nip unloop 2r> 2drop exit then
  loop 2drop 2r> swap - sign-of ;
: search     ( c-addr1 u1 c-addr2 u2 -- c-addr3 u3 flag )
  2>r 2dup begin dup r@ u< 0= while
    over r@ 2r@ str= if 2swap 2drop 2r> 2drop true exit then
    1 /string
  repeat 2drop 2r> 2drop false ;

\ UNESCAPE doubles each %, so that SUBSTITUTE gives the text back.
: unescape   ( c-addr1 u1 c-addr2 -- c-addr2 u2 )
  dup >r -rot bounds ?do
    i c@ [char] % = if [char] % over c! 1+ then  i c@ over c! 1+
  loop r> tuck - ;

\ Substitutions: a list in the heap. An entry: the link, the name as a
\ counted string, then the text (a length cell and the characters).
\ Names are found whatever their case, as the names of words are.
variable substitutions
: str=ci     ( c-addr1 u1 c-addr2 u2 -- flag )
  rot over <> if drop 2drop false exit then names= ;
: entry-name ( entry -- c-addr u )  cell+ count ;
: entry-text ( entry -- a-addr )  entry-name + aligned ;
: entry-size ( u-text u-name -- u )  1+ cell+ aligned cell+ + ;
: find-substitution ( c-addr u -- entry | 0 )
  substitutions @ begin dup while
    >r 2dup r@ entry-name str=ci if 2drop r> exit then r> @
  repeat nip nip ;
: forget-substitution ( c-addr u -- )
  find-substitution ?dup if
    substitutions begin 2dup @ <> while @ repeat  over @ swap !  free drop
  then ;
: replaces   ( c-addr1 u1 c-addr2 u2 -- )
  dup 255 u> if -79 throw then
  2over nip over entry-size allocate if -79 throw then >r
  2dup r@ cell+ place  forget-substitution
  dup r@ entry-text !  r@ entry-text cell+ swap move
  substitutions @ r@ !  r> substitutions ! ;

\ SUBSTITUTE copies c-addr1 u1 into the buffer c-addr2 u2, putting the
\ text of each %name% that REPLACES defined in its place and % for %%.
\ Other %name% stay as they are.
variable sub-out     \ where the next character goes
variable sub-end     \ the end of the buffer
variable sub-count   \ substitutions made
: put        ( c-addr u -- )   \ appends to the buffer, or throws -78
  sub-out @ over + sub-end @ u> if -78 throw then
  sub-out @ swap dup sub-out +! move ;
: after-%    ( c-addr1 u1 -- c-addr2 u2 )   \ the text after a %
  dup 0= if s" %" put exit then
  over c@ [char] % = if s" %" put 1 /string exit then
  2dup [char] % scan dup 0= if 2drop s" %" put exit then
  2swap drop 2 pick over -                     ( c-addr' u' c-addr len )
  2dup find-substitution ?dup if
    nip nip entry-text dup cell+ swap @ put  1 sub-count +!
  else s" %" put put s" %" put then
  1 /string ;
: substitute-text ( c-addr u -- )
  begin dup while
    over c@ [char] % = if 1 /string after-% else over 1 put 1 /string then
  repeat 2drop ;
: (substitute) ( c-addr1 u1 c-addr2 u2 -- c-addr2 u3 n )
  over >r  over + sub-end !  sub-out !  0 sub-count !
  ['] substitute-text catch ?dup if nip nip r> 0 rot exit then
  r> sub-out @ over - sub-count @ ;
: overlap?   ( c-addr1 u1 c-addr2 u2 -- flag )   \ the two ranges share bytes
  over + >r  -rot over +  rot u>  swap r> u<  and ;
\ Text whose buffer overlaps the result's is read from a copy.
: substitute ( c-addr1 u1 c-addr2 u2 -- c-addr2 u3 n )
  2over 2over overlap? 0= if (substitute) exit then
  2swap heap-string over 0= if 2drop drop 0 -78 exit then
  over >r 2swap (substitute) r> system-free ;
