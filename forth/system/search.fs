\ The search order: word lists, the order in which they are searched, and
\ the one that new definitions go into.
\
\ A word list (wid) in data space: the link to the word list made before
\ it, the nt of its name or 0, and the heads of 64 threads of names.

16 constant #context   \ word lists the search order can hold

: wordlist  ( -- wid )
  align here  voc-link @ , 0 ,  here 64 cells dup allot erase  dup voc-link ! ;

: get-current  ( -- wid )  current @ ;
: set-current  ( wid -- )  current ! ;
: definitions  ( -- )  context @ current ! ;

: get-order  ( -- widn ... wid1 n )
  #order @ dup 0 ?do  dup i - 1- cells context + @ swap  loop ;
: set-order  ( widn ... wid1 n -- )
  dup -1 = if drop forth-wordlist 1 then
  dup #context u> if -49 throw then
  dup #order !  0 ?do  i cells context + !  loop ;

: search-wordlist  ( c-addr u wid -- 0 | xt 1 | xt -1 )
  find-name-in dup if dup name>xt swap immediate? if 1 else -1 then then ;

: replace-first  ( wid -- )   \ the first word list searched becomes wid
  #order @ 0= if 1 #order ! then  context ! ;
: only      ( -- )  -1 set-order ;
: also      ( -- )  get-order over swap 1+ set-order ;
: previous  ( -- )  #order @ 0= if -50 throw then  get-order nip 1- set-order ;
: forth     ( -- )  forth-wordlist replace-first ;
latest @ forth-wordlist cell+ !   \ FORTH names the word list

\ VOCABULARY name: a named word list; name makes it the first searched.
: vocabulary  ( "<spaces>name" -- )
  create wordlist  latest @ swap cell+ !
  does> ( -- )  replace-first ;

\ The names of a word list, newest first: the next one is the youngest
\ name older than the last, over all 64 threads (names are laid down in
\ data space in the order they are made).
: umax  ( u1 u2 -- u3 )  2dup u< if swap then drop ;
: older-in-thread  ( nt1 nt2 -- nt3 )   \ the first name of a thread below nt1
  begin dup while 2dup u> if nip exit then @ repeat nip ;
: older-name  ( nt1 wid -- nt2 | 0 )
  0 swap 8 + 64 cells bounds do  over i @ older-in-thread umax  4 +loop nip ;

: traverse-wordlist  ( i*x xt wid -- j*x )
  2>r -1 begin r@ older-name ?dup while
    2r@ drop over >r execute r> swap
  0= until drop then 2r> 2drop ;

: .wid  ( wid -- )   \ its name, or its address
  dup cell+ @ ?dup if nip name>string type space exit then
  base @ >r hex u. r> base ! ;
: order  ( -- )
  cr ." Search: "  get-order 0 ?do .wid loop
  cr ." Definitions: "  current @ .wid ;
